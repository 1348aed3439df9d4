// A file cut off by the end of a run goes on in the next one: the packed bytes received are kept beside the
// file, and the next run asks only for the rest, as long as the entry and the package are the same. Through
// the exports, with a real server whose request log shows what was asked.
#include "LoaderRoadFixture.h"

#include "Loader/PackageHeader.h"

#include <algorithm>
#include <filesystem>

using namespace Zelto;
using Reply = ScriptedHttpServer::Reply;

namespace
{

constexpr int64_t CutAfter = 300000;  // body bytes of a file fetch before its server stalls
constexpr uint64_t RecordBytes = 160; // the kept file's record in front of the bytes

std::string BigContent()
{
    std::string content(1 << 20, '\0');
    uint32_t seed = 99;
    for (char& byte : content)
        byte = char((seed = seed * 1103515245u + 12345u) >> 24); // does not pack: its packed copy is as long
    return content;
}

const PackageEntry& EntryOf(const std::string& package, uint32_t index)
{
    return reinterpret_cast<const PackageHeader*>(package.data())->entries[index];
}

std::string RangeFrom(const PackageEntry& entry, uint64_t kept)
{
    return "bytes=" + std::to_string(entry.offset + kept) + "-" +
           std::to_string(entry.offset + entry.size - 1);
}

} // namespace

TEST_F(LoaderRoad, AnInterruptedFileGoesOnWhereItStopped)
{
    struct Case
    {
        const char* name;
        bool changePackage; // another file of the package changes between the runs
    };
    const Case cases[] = {{"same package", false}, {"changed package", true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::vector<PackageFile> files = {{u"big.bin", BigContent(), Packing::Zlib},
                                          {u"small.txt", "first version\n", Packing::Plain}};
        std::string package = BuildPackage(files);
        const std::string path = std::string("/") + (c.changePackage ? "changed" : "same") + ".zoa";
        server.Serve(path, package);
        server.Script(path, Reply(), 2); // the header and the length probe
        Reply cut;
        cut.stallAfter = CutAfter;
        server.Script(path, cut, 3); // the module's, big.bin's and small.txt's fetches
        Create();
        Setup(u"zoaurl", server.Url(path));
        const auto kept = folder.Native(u"game\\big.bin.zelto-part");
        ASSERT_TRUE(TickUntil(
            [&] {
                return std::filesystem::exists(kept) &&
                       std::filesystem::file_size(kept) == RecordBytes + CutAfter;
            }))
            << TraceLog();
        Delete(); // as a host would on its way out; a killed one keeps the same bytes
        server.ReleaseStalls();
        EXPECT_FALSE(std::filesystem::exists(folder.Native(u"game\\big.bin")));

        if (c.changePackage)
        {
            files[1].bytes = "second version\n";
            package = BuildPackage(files);
            server.Serve(path, package);
        }
        const size_t before = RequestsFor(path).size();
        Create();
        Setup(u"zoaurl", server.Url(path));
        ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
        EXPECT_TRUE(GameFile(u"big.bin") == files[0].bytes);
        EXPECT_FALSE(std::filesystem::exists(kept)) << "the kept bytes go once the file is in place";

        std::vector<std::string> ranges;
        std::vector<ScriptedHttpServer::Request> requests = RequestsFor(path);
        for (size_t i = before; i < requests.size(); ++i)
            ranges.push_back(requests[i].range);
        const PackageEntry& big = EntryOf(package, 1);
        const std::string expected = RangeFrom(big, c.changePackage ? 0 : uint64_t(CutAfter));
        EXPECT_NE(std::find(ranges.begin(), ranges.end(), expected), ranges.end())
            << "no request for " << expected;
        EXPECT_EQ(std::count_if(ranges.begin(), ranges.end(),
                                [&](const std::string& range)
                                {
                                    return range.rfind("bytes=" + std::to_string(big.offset), 0) == 0 ||
                                           range.find("-" + std::to_string(big.offset + big.size - 1)) !=
                                               std::string::npos;
                                }),
                  1)
            << "big.bin was asked for once";
        Delete();
        for (const char16_t* name : {u"game\\zelto3d.zob", u"game\\big.bin", u"game\\small.txt"})
            std::filesystem::remove(folder.Native(name));
    }
}
