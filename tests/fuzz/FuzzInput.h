#pragma once
// Reads typed values from the front of a fuzzer's input. Once the input runs dry every read gives
// zero, so that any input, however short, decodes to a complete program.

#include <cstddef>
#include <cstdint>

namespace CoreIoFuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size);

    bool exhausted() const { return position_ == size_; }

    std::uint8_t byte();
    std::uint16_t u16();  // little-endian
    std::uint32_t u32();  // little-endian
    float f32();          // the raw bit pattern: NaNs, infinities and subnormals included
    // A value in [0, bound), read with as few bytes as the bound needs; bound must not be 0.
    std::size_t below(std::size_t bound);

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

}  // namespace CoreIoFuzz
