// The server list as the loader reads it from outside: only a default number of at most 9 digits names a
// server, and the items are found from the matches themselves.
#include "LoaderRoadFixture.h"

#include <string>

using namespace Zelto;

TEST_F(LoaderRoad, ServerListNumbersNoServerNeedsAreRefused)
{
    server.Serve("/game.zoa", BuildPackage(DemoFiles()));
    std::string listed = "\"" + server.Url("/listed.zoa") + "\"";
    auto entry = [&](const std::string& number)
    { return "\"" + number + "\":[\"A\",1,2,3,4," + listed + ",7000,\"10.0.0.1\"]"; };
    std::string digits8190(8190, '1');
    struct Case
    {
        const char* name;
        std::string list;
        bool namesServer; // the list's URL is tried first
    };
    const Case cases[] = {
        {"nine digits", "{\"default\":123456789," + entry("123456789") + "}", true},
        {"ten digits", "{\"default\":1234567890," + entry("1234567890") + "}", false},
        // The number fills the formatter's whole buffer: no items may be looked for behind the match.
        {"number beyond the format buffer",
         "{\"default\":" + digits8190 + ",\"" + digits8190 + "x],\"a\",\"b\",\"c\",\"d\",\"e\"," + listed +
             ",7000,\"10.0.0.1\"]}",
         false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        size_t before = RequestsFor("/listed.zoa").size();
        Create();
        Setup(u"zoatimeout", "200");
        Setup(u"serverdata", c.list);
        Setup(u"zoaurl", server.Url("/game.zoa")); // behind the list's URL, if it named one
        EXPECT_TRUE(TickUntil([&] { return Running(); }));
        EXPECT_EQ(RequestsFor("/listed.zoa").size() > before, c.namesServer);
        Delete();
    }
}
