// libFuzzer target: each input is a registration program for the in-memory loader.
#include "MemoryLoaderFuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CoreIoFuzz::fuzzMemoryLoader(data, size);
    return 0;
}
