// Every fuzz target: the log channels stay silent, so that the decoders' error lines cost no time.
#include "Common/Log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Zelto::LogSettings().enabled = 0;
    return 0;
}
