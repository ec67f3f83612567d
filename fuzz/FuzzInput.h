#pragma once
// Reads numbers from a fuzzer's bytes; past the end every read gives 0.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}

    std::uint8_t byte() { return offset < size ? data[offset++] : 0; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
    /// A whole number in [-32768, 32767] times 2^e with e in [-30, 30]
    /// (byte-chosen): exact in doubles, spanning sizes 1e-9 to 1e9.
    double scaled(int exponent) { return std::ldexp(static_cast<std::int16_t>(u16()), exponent); }
    /// Raw bits of a double, whatever they hold (NaN and infinity included).
    double raw() {
        std::uint64_t bits = 0;
        for (int k = 0; k < 8; ++k)
            bits |= std::uint64_t(byte()) << (8 * k);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    bool empty() const { return offset >= size; }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t offset = 0;
};
