// zoa-pack: builds a package from files (header version 2 with the key digest unless told otherwise, each
// file stored plain, zlib-packed or LZMA-packed, two optional sections), or lists a package's header.
// Exit status: 0 done, 1 failed (or the listed package would be rejected), 2 wrong arguments.
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "tools/zoa-pack/PackageListing.h"
#include "tools/zoa-pack/PackageWriter.h"

#include <cstdio>
#include <cstring>

using namespace Zelto;

namespace
{

void PrintUsage()
{
    std::fputs(
        "usage: zoa-pack [--version 1|2] [--cache-name NAME] [--section-a NAME:FILE]"
        " [--section-b NAME:FILE]\n"
        "                -o OUT.zoa FILE[:plain|zlib|lzma][@NAME] ...   (1 to 8 files; the first is the"
        " engine module)\n"
        "       zoa-pack --list PACKAGE\n",
        stderr);
}

void Print(std::FILE* stream, const String& text)
{
    std::fputs(StringToAnsi(text.Text()).c_str(), stream);
}

int Fail(const String& error)
{
    Print(stderr, Format(u"zoa-pack: %ls\n", error.Text()));
    return 1;
}

int List(const char* path)
{
    String text;
    bool sound = ListPackage(AnsiToString(path).Text(), text);
    Print(stdout, text);
    return sound ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--list") == 0)
        return List(argv[2]);

    PackagePlan plan;
    String out;
    String error;
    bool cacheNameGiven = false;
    for (int i = 1; i < argc && error.IsEmpty(); ++i)
    {
        String argument = AnsiToString(argv[i]);
        bool hasValue = i + 1 < argc;
        if (argument[0] != u'-')
        {
            PackageInput input;
            if (ParseInputArgument(argument.Text(), input, error))
                plan.inputs.push_back(input);
            continue;
        }
        if (!hasValue)
        {
            PrintUsage();
            return 2;
        }
        String value = AnsiToString(argv[++i]);
        if (argument.Equals(u"-o"))
            out = value;
        else if (argument.Equals(u"--version"))
            plan.version = uint32_t(value.ToInt());
        else if (argument.Equals(u"--cache-name"))
        {
            plan.cacheName = value;
            cacheNameGiven = true;
        }
        else if (argument.Equals(u"--section-a"))
            ParseSectionArgument(value.Text(), plan.sectionA, error);
        else if (argument.Equals(u"--section-b"))
            ParseSectionArgument(value.Text(), plan.sectionB, error);
        else
        {
            PrintUsage();
            return 2;
        }
    }
    if (!error.IsEmpty())
        return Fail(error);
    if (out.IsEmpty() || plan.inputs.empty())
    {
        PrintUsage();
        return 2;
    }
    if (!cacheNameGiven)
        plan.cacheName = PathFileName(out.Text(), false, false);
    if (!WritePackage(plan, out.Text(), error))
        return Fail(error);
    String listing;
    ListPackage(out.Text(), listing);
    Print(stdout, listing);
    return 0;
}
