// Server lists from outside, as UTF-8 bytes.
#include "FuzzCheck.h"
#include "Loader/ServerList.h"
#include "Source/Common/StringEncoding.h"

#include <string>

using namespace Zelto;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    ServerChoice choice;
    if (ReadServerList(Utf8ToString(text.c_str()), choice))
        Require(choice.engineParam.IsEmpty() || choice.engineParam.StartsWith(u"host|"));
    return 0;
}
