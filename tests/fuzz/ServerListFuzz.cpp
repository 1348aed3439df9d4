// Server lists from outside, as UTF-8 bytes.
#include "Loader/ServerList.h"
#include "Source/Common/StringEncoding.h"

#include <cstdlib>
#include <string>

using namespace Zelto;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    ServerChoice choice;
    if (ReadServerList(Utf8ToString(text.c_str()), choice) && !choice.engineParam.IsEmpty() &&
        !choice.engineParam.StartsWith(u"host|"))
        std::abort();
    return 0;
}
