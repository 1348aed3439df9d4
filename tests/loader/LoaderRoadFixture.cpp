#include "LoaderRoadFixture.h"

#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/File.h"
#include "Source/Platform/System.h"
#include "support/Environment.h"

#include <chrono>
#include <cstdlib>

namespace Zelto
{

void LoaderRoad::SetUp()
{
    WriteEnvironmentVariable(u"[ZELTO-DEBUG]", nullptr);
    String current = CurrentDirectory();
    startDirectory.assign(current.Text(), current.Length());
    ASSERT_TRUE(MakeDirectories(folder.Path(u"game").Text()));
    ASSERT_TRUE(MakeDirectories(folder.Path(u"stage").Text()));
    ASSERT_TRUE(ChangeCurrentDirectory(folder.Path(u"game").Text()));
    String error;
    ASSERT_TRUE(plugin.Load(PluginBesideExecutable().Text(), error)) << StringToUtf8(error.Text());
    window = new HostWindow(64, 48, plugin.message);
}

void LoaderRoad::TearDown()
{
    Delete();
    delete window;
    plugin.Unload();
    ChangeCurrentDirectory(startDirectory.c_str());
}

std::vector<LoaderRoad::PackageFile> LoaderRoad::DemoFiles()
{
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "line " + std::to_string(i) + " of the demo data\n";
    std::string binary;
    for (int i = 0; i < 5000; ++i)
        binary += char(i * 7 % 251);
    return {{u"data.txt", text, Packing::Zlib},
            {u"levels\\map.bin", binary, Packing::Lzma},
            {u"plain.cfg", "speed=1\n", Packing::Plain}};
}

String LoaderRoad::EngineModulePath()
{
    return Format(u"%ls\\zelto3d.zob", PathDirectory(ExecutablePath().Text(), true).Text());
}

std::string LoaderRoad::BuildPackage(const std::vector<PackageFile>& files, uint32_t version)
{
    PackagePlan plan;
    plan.version = version;
    plan.cacheName = u"demo";
    plan.inputs.push_back({EngineModulePath(), u"zelto3d.zob", Packing::Plain});
    int index = 0;
    for (const PackageFile& file : files)
    {
        std::u16string staged = u"stage\\input" + std::u16string(1, char16_t(u'0' + index++));
        folder.WriteBytes(staged.c_str(), file.bytes);
        plan.inputs.push_back({folder.Path(staged.c_str()), String(file.name.c_str()), file.packing});
    }
    String error;
    EXPECT_TRUE(WritePackage(plan, folder.Path(u"stage\\game.zoa").Text(), error))
        << StringToUtf8(error.Text());
    return folder.ReadBytes(u"stage\\game.zoa");
}

void LoaderRoad::Create(int32_t launchMode)
{
    ASSERT_EQ(plugin.create(window->Handle(), 0, 0, 0, launchMode), 1);
    created = true;
}

void LoaderRoad::Setup(const char16_t* key, const std::string& value)
{
    std::basic_string<ZeltoChar> wideKey(reinterpret_cast<const ZeltoChar*>(key));
    plugin.setup(wideKey.c_str(), ZeltoText(value.c_str()).c_str());
}

bool LoaderRoad::TickUntil(const std::function<bool()>& done)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        window->Pump();
        plugin.update(0, 16);
        plugin.render();
        HostSleep(2);
    }
    return true;
}

bool LoaderRoad::Running()
{
    // The sample engine answers a message with msg + 1000; the loader alone answers 0.
    return plugin.message(0, 0x0400, 0, 0) == 0x0400 + 1000;
}

void LoaderRoad::Delete()
{
    if (created)
        plugin.destroy();
    created = false;
}

namespace
{

// One of the loader's logs beside the host, "<program>-loader-[<channel>].log" (UTF-16 after its BOM).
std::string LoaderLog(const TempDirectory& folder, const char16_t* channel)
{
    String executable = PathFileName(ExecutablePath().Text(), false, false);
    String name = Format(u"game\\%ls-loader-[%ls].log", executable.Text(), channel);
    std::string bytes = folder.ReadBytes(name.Text());
    if (bytes.size() < 2)
        return std::string();
    return StringToUtf8(reinterpret_cast<const char16_t*>(bytes.data() + 2), int32_t(bytes.size() / 2 - 1));
}

} // namespace

std::string LoaderRoad::TraceLog() const
{
    return LoaderLog(folder, u"Trace");
}

std::string LoaderRoad::ErrorLog() const
{
    return LoaderLog(folder, u"Error");
}

std::string LoaderRoad::EngineCalls() const
{
    return GameFile(u"zelto3d-calls.txt");
}

std::vector<int> LoaderRoad::ReportedStates() const
{
    std::vector<int> states;
    for (const ScriptedHttpServer::Request& request : RequestsFor("/tick"))
    {
        size_t at = request.target.find("&sg=");
        if (at == std::string::npos || request.target.find("&f=1") != std::string::npos ||
            request.target.find("&pg=") != std::string::npos)
            continue;
        states.push_back(std::atoi(request.target.c_str() + at + 4));
    }
    return states;
}

std::vector<ScriptedHttpServer::Request> LoaderRoad::RequestsFor(const std::string& path) const
{
    std::vector<ScriptedHttpServer::Request> matching;
    for (const ScriptedHttpServer::Request& request : server.Requests())
        if (request.path == path)
            matching.push_back(request);
    return matching;
}

} // namespace Zelto
