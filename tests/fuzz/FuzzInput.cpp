#include "FuzzInput.h"

#include <bit>

namespace CoreIoFuzz {

FuzzInput::FuzzInput(const std::uint8_t* data, std::size_t size)
    : data_(data), size_(data == nullptr ? 0 : size)
{
}

std::uint8_t FuzzInput::byte()
{
    return exhausted() ? 0 : data_[position_++];
}

std::uint16_t FuzzInput::u16()
{
    const std::uint16_t low = byte();
    const std::uint16_t high = byte();
    return static_cast<std::uint16_t>(low | (high << 8));
}

std::uint32_t FuzzInput::u32()
{
    const std::uint32_t low = u16();
    const std::uint32_t high = u16();
    return low | (high << 16);
}

float FuzzInput::f32()
{
    return std::bit_cast<float>(u32());
}

std::size_t FuzzInput::below(std::size_t bound)
{
    if (bound <= 0x100)
        return byte() % bound;
    if (bound <= 0x10000)
        return u16() % bound;
    return u32() % bound;
}

}  // namespace CoreIoFuzz
