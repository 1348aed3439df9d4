// Allocation statistics: interpreter memory counted by source, line and function, dumped by total size above
// the threshold, and the table emptied and the hook gone after each dump.
#include "ScriptFixture.h"

#include "support/Text.h"

#include <regex>
#include <string>
#include <vector>

using namespace Zelto;

namespace
{

struct Site
{
    std::string text; // "source:line:function"
    long total;
    long count;
    long average;
};

class AllocationStats : public ScriptTest
{
protected:
    void RunChunk(const char16_t* text, const char16_t* chunkName)
    {
        Variable out;
        manager->RunString(out, text, chunkName, 0);
    }

    // Stops tracking and reads the dump back, checking its frame.
    std::vector<Site> TakeDump()
    {
        logs.trace.calls.clear();
        manager->TrackAllocations(0);
        std::vector<std::string> lines;
        for (const std::u16string& line : logs.trace.Lines())
            lines.push_back(Narrow(String(line.c_str())));
        std::vector<Site> sites;
        if (lines.size() < 3)
        {
            ADD_FAILURE() << "no dump";
            return sites;
        }
        EXPECT_EQ(lines[0], "[LS] Dump Lua Alloc Begin");
        EXPECT_EQ(lines[1], "[LS] Order by total alloc size (byte)");
        EXPECT_EQ(lines.back(), "[LS] Dump Lua Alloc End");
        const std::regex row(R"((.*)\t\t(-?\d+)\t(\d+)\t(-?\d+))");
        for (size_t i = 2; i + 1 < lines.size(); ++i)
        {
            std::smatch match;
            if (!std::regex_match(lines[i], match, row))
            {
                ADD_FAILURE() << "not a site: " << lines[i];
                continue;
            }
            sites.push_back({match[1], std::stol(match[2]), std::stol(match[3]), std::stol(match[4])});
        }
        return sites;
    }
};

const Site* Find(const std::vector<Site>& sites, const std::string& text)
{
    for (const Site& site : sites)
        if (site.text == text)
            return &site;
    return nullptr;
}

const char16_t* const AllocatingScript = u"local function build()\n"
                                         u"  local t = {}\n"
                                         u"  for i = 1, 200 do t[i] = {i} end\n"
                                         u"  return t\n"
                                         u"end\n"
                                         u"local function big()\n"
                                         u"  local t = {}\n"
                                         u"  t[1] = string.rep('x', 100000)\n"
                                         u"  return t\n"
                                         u"end\n"
                                         u"keep = {build(), big()}\n";

TEST_F(AllocationStats, SitesAreKeyedBySourceLineAndFunctionAndDumpedByTotalSize)
{
    manager->TrackAllocations(1);
    RunChunk(AllocatingScript, u"@alloc.lua");
    std::vector<Site> sites = TakeDump();

    ASSERT_FALSE(sites.empty());
    for (size_t i = 0; i < sites.size(); ++i)
    {
        EXPECT_GE(sites[i].total, 1) << sites[i].text; // at least the threshold
        EXPECT_GE(sites[i].count, 1) << sites[i].text;
        EXPECT_EQ(sites[i].average, sites[i].total / sites[i].count) << sites[i].text;
        if (i > 0)
        {
            EXPECT_GE(sites[i - 1].total, sites[i].total) << sites[i].text;
        }
    }
    // The large string is made inside the library function, which the site names.
    EXPECT_EQ(sites.front().text, "=[C]:-1:rep");
    EXPECT_GE(sites.front().total, 100000);
    const Site* elements = Find(sites, "alloc.lua:3:build");
    ASSERT_NE(elements, nullptr);
    EXPECT_GE(elements->count, 200);
    EXPECT_NE(Find(sites, "alloc.lua:2:build"), nullptr);
    EXPECT_NE(Find(sites, "alloc.lua:7:big"), nullptr);
}

TEST_F(AllocationStats, SitesBelowTheThresholdAreLeftOut)
{
    manager->TrackAllocations(100000);
    RunChunk(AllocatingScript, u"@alloc.lua");
    std::vector<Site> sites = TakeDump();
    ASSERT_EQ(sites.size(), 1u);
    EXPECT_EQ(sites[0].text, "=[C]:-1:rep");
}

TEST_F(AllocationStats, EachDumpEmptiesTheTableAndStopsCounting)
{
    EXPECT_TRUE(TakeDump().empty()); // never tracked: the frame alone
    manager->TrackAllocations(1);
    RunChunk(AllocatingScript, u"@alloc.lua");
    EXPECT_FALSE(TakeDump().empty());
    RunChunk(AllocatingScript, u"@alloc.lua");
    EXPECT_TRUE(TakeDump().empty());
}

TEST_F(AllocationStats, SiteNamesAreConvertedAndCutTo1024Characters)
{
    const std::u16string longSource(1500, u'a');
    const std::u16string longName(1500, u'b');
    struct Case
    {
        std::u16string chunkName;
        std::u16string function;
        std::u16string site;
    };
    const Case cases[] = {
        {u"@donn\u00e9es.lua", u"build", u"donn\u00e9es.lua:2:build"},
        {u"@" + longSource, longName, longSource.substr(0, 1024) + u":2:" + longName.substr(0, 1024)},
    };
    for (const Case& c : cases)
    {
        manager->TrackAllocations(1);
        std::u16string script =
            u"local function " + c.function + u"()\n  return {1, 2, 3}\nend\nkeep = " + c.function + u"()\n";
        RunChunk(script.c_str(), c.chunkName.c_str());
        logs.trace.calls.clear();
        manager->TrackAllocations(0);
        EXPECT_EQ(logs.trace.Count(c.site + u"\t\t"), 1u) << Narrow(String(c.site.c_str()));
    }
}

TEST_F(AllocationStats, EveryStateIsCounted)
{
    manager->TrackAllocations(1);
    int32_t second = manager->CreateState(nullptr);
    ASSERT_TRUE(manager->SwitchState(second));
    RunChunk(AllocatingScript, u"@second.lua");
    ASSERT_TRUE(manager->SwitchState(0));
    EXPECT_NE(Find(TakeDump(), "second.lua:3:build"), nullptr);
}

} // namespace
