// libFuzzer target: each input is an Exodus II file for the loader.
#include "ExodusLoaderFuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CoreIoFuzz::fuzzExodusLoader(data, size);
    return 0;
}
