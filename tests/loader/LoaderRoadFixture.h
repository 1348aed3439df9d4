// The loader's whole road as a host drives it: a package built by zoa-pack's writer, served by a real HTTP
// server on 127.0.0.1, loaded through the plug-in's exports in a folder of its own, with the sample engine.
#pragma once

#include "Source/Platform/Host/HostWindow.h"
#include "Source/Platform/Host/Plugin.h"
#include "support/TempDirectory.h"
#include "tools/zoa-pack/PackageWriter.h"
#include "tools/zoa-serve/ScriptedHttpServer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace Zelto
{

class LoaderRoad : public ::testing::Test
{
protected:
    struct PackageFile
    {
        std::u16string name; // the entry name
        std::string bytes;
        Packing packing = Packing::Plain;
    };

    void SetUp() override;
    void TearDown() override;

    // The sample engine as entry 0, then `files`; the package's bytes.
    std::string BuildPackage(const std::vector<PackageFile>& files, uint32_t version = 2);
    static std::vector<PackageFile> DemoFiles();
    static String EngineModulePath(); // the sample engine beside the test program

    void Create(int32_t launchMode = 0);
    void Setup(const char16_t* key, const std::string& value);
    // Ticks (16 ms each) until `done` holds or 20 s pass; false on the time-out.
    bool TickUntil(const std::function<bool()>& done);
    bool Running(); // the engine answers messages: it has taken over
    void Delete();

    std::string GameFile(const char16_t* name) const { return folder.ReadBytes(Game(name).c_str()); }
    std::u16string Game(const char16_t* name) const { return std::u16string(u"game\\") + name; }
    std::string TraceLog() const;    // the loader's trace log, as UTF-8
    std::string ErrorLog() const;    // its error log, as UTF-8
    std::string EngineCalls() const; // the sample engine's call log
    std::vector<int>
    ReportedStates() const; // the sg of each tick request, in order (finish reports left out)
    std::vector<ScriptedHttpServer::Request> RequestsFor(const std::string& path) const;

    TempDirectory folder;
    ScriptedHttpServer server;
    Plugin plugin;
    std::u16string startDirectory;
    HostWindow* window = nullptr;
    bool created = false;
};

} // namespace Zelto
