// zoa-serve: serves the files of a folder on 127.0.0.1 with content length, byte ranges and HEAD, prints
// every request it answers, and can inject faults for demos: a delay, a stall or a dropped connection after
// some body bytes, a status code or a redirect for one path. Runs until interrupted or for --seconds.
#include "tools/zoa-serve/ScriptedHttpServer.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

using namespace Zelto;

namespace
{

std::atomic<bool> interrupted{false};

void Interrupt(int)
{
    interrupted = true;
}

struct Options
{
    std::string folder;
    int port = 0;
    double seconds = 0; // 0: until interrupted
    std::string requestLog;
    ScriptedHttpServer::Reply everyReply; // faults for every file
    std::vector<std::pair<std::string, ScriptedHttpServer::Reply>> pathReplies;
};

void PrintUsage()
{
    std::printf(
        "usage: zoa-serve [--port N] [--seconds N] [--request-log FILE] [--delay MS] [--stall-after BYTES]\n"
        "                 [--drop-after BYTES] [--status PATH=CODE] [--redirect PATH=TARGET] FOLDER\n");
}

// "PATH=VALUE" split at its first '='.
bool SplitPair(const std::string& text, std::string& path, std::string& value)
{
    size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0)
        return false;
    path = text.substr(0, equals);
    value = text.substr(equals + 1);
    return true;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i)
    {
        std::string argument = argv[i];
        bool hasValue = i + 1 < argc;
        std::string path, value;
        if (argument == "--port" && hasValue)
            options.port = std::atoi(argv[++i]);
        else if (argument == "--seconds" && hasValue)
            options.seconds = std::atof(argv[++i]);
        else if (argument == "--request-log" && hasValue)
            options.requestLog = argv[++i];
        else if (argument == "--delay" && hasValue)
            options.everyReply.delayMs = std::atoi(argv[++i]);
        else if (argument == "--stall-after" && hasValue)
            options.everyReply.stallAfter = std::atoll(argv[++i]);
        else if (argument == "--drop-after" && hasValue)
            options.everyReply.dropAfter = std::atoll(argv[++i]);
        else if (argument == "--status" && hasValue && SplitPair(argv[++i], path, value))
        {
            ScriptedHttpServer::Reply reply;
            reply.status = std::atoi(value.c_str());
            options.pathReplies.emplace_back(path, reply);
        }
        else if (argument == "--redirect" && hasValue && SplitPair(argv[++i], path, value))
        {
            ScriptedHttpServer::Reply reply;
            reply.status = 302;
            reply.location = value;
            options.pathReplies.emplace_back(path, reply);
        }
        else if (argument.rfind("--", 0) != 0 && options.folder.empty())
            options.folder = argument;
        else
            return false;
    }
    return !options.folder.empty();
}

bool HasFaults(const ScriptedHttpServer::Reply& reply)
{
    return reply.delayMs != 0 || reply.stallAfter >= 0 || reply.dropAfter >= 0;
}

// Every file below the folder, served under its relative path.
size_t ServeFolder(ScriptedHttpServer& server, const Options& options)
{
    size_t count = 0;
    std::filesystem::path root(options.folder);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    {
        if (!entry.is_regular_file())
            continue;
        std::ifstream file(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::string path = "/" + std::filesystem::relative(entry.path(), root).generic_string();
        server.Serve(path, std::move(bytes));
        if (HasFaults(options.everyReply))
            server.Script(path, options.everyReply);
        ++count;
    }
    return count;
}

std::string Describe(const ScriptedHttpServer::Request& request)
{
    std::string line = request.method + " " + request.target;
    if (!request.range.empty())
        line += " range=" + request.range;
    if (!request.host.empty())
        line += " host=" + request.host;
    return line + " -> " + std::to_string(request.status);
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options))
    {
        PrintUsage();
        return 2;
    }
    ScriptedHttpServer server(options.port);
    if (!server.IsListening())
    {
        std::printf("zoa-serve: cannot listen on 127.0.0.1:%d\n", options.port);
        return 1;
    }
    size_t files = ServeFolder(server, options);
    for (const auto& [path, reply] : options.pathReplies)
        server.Script(path, reply);
    std::printf("zoa-serve: serving %zu files of %s at %s\n", files, options.folder.c_str(),
                server.Url("/").c_str());
    std::fflush(stdout);

    std::signal(SIGINT, Interrupt);
    std::signal(SIGTERM, Interrupt);
    std::ofstream log;
    if (!options.requestLog.empty())
        log.open(options.requestLog, std::ios::trunc);
    auto started = std::chrono::steady_clock::now();
    size_t printed = 0;
    while (!interrupted && (options.seconds <= 0 || std::chrono::steady_clock::now() - started <
                                                        std::chrono::duration<double>(options.seconds)))
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::vector<ScriptedHttpServer::Request> requests = server.Requests();
        for (; printed < requests.size(); ++printed)
        {
            std::string line = Describe(requests[printed]);
            std::printf("zoa-serve: %s\n", line.c_str());
            if (log.is_open())
                log << line << std::endl;
        }
        std::fflush(stdout);
    }
    std::printf("zoa-serve: stopped after %zu requests\n", printed);
    return 0;
}
