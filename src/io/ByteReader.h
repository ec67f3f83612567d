#pragma once
// Bounds-checked little-endian reads over a byte buffer. Every read that
// would pass the end throws instead, so a count or length in a damaged file
// can never make a reader allocate or read beyond what the file holds.
#include "log/Exception.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace Kiln {

class ByteReader {
public:
    /// `location` names the reader in the exception thrown at the end.
    ByteReader(const std::uint8_t* data, std::size_t size, std::string location)
        : data(data), size(size), location(std::move(location)) {}

    std::size_t remaining() const { return size - offset; }
    bool atEnd() const { return offset == size; }
    std::size_t position() const { return offset; }

    /// Throws unless `count` items of `itemSize` bytes remain.
    void require(std::uint64_t count, std::uint64_t itemSize) const {
        if (itemSize != 0 && count > remaining() / itemSize)
            throw Exception(ErrorCode::SceneFile, "Unexpectedly reached end of file.", location);
    }
    void skip(std::uint64_t bytes) {
        require(bytes, 1);
        offset += static_cast<std::size_t>(bytes);
    }
    const std::uint8_t* take(std::size_t bytes) {
        require(bytes, 1);
        const std::uint8_t* at = data + offset;
        offset += bytes;
        return at;
    }
    std::uint8_t u8() { return *take(1); }
    std::uint16_t u16() {
        const std::uint8_t* b = take(2);
        return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
    }
    std::uint32_t u32() {
        const std::uint8_t* b = take(4);
        return std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) |
               (std::uint32_t(b[3]) << 24);
    }
    float f32() {
        const std::uint32_t bits = u32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    /// A u32 length and that many bytes; keeps the bytes before the first
    /// zero byte.
    std::string string() {
        const std::uint32_t length = u32();
        const char* text = reinterpret_cast<const char*>(take(length));
        return std::string(text, strnlen(text, length));
    }

    const std::string& getLocation() const { return location; }
    void setLocation(std::string newLocation) { location = std::move(newLocation); }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t offset = 0;
    std::string location;
};

/// Little-endian appends to a byte string.
class ByteWriter {
public:
    void u8(std::uint8_t value) { bytes.push_back(static_cast<char>(value)); }
    void u16(std::uint16_t value) {
        u8(static_cast<std::uint8_t>(value));
        u8(static_cast<std::uint8_t>(value >> 8));
    }
    void u32(std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            u8(static_cast<std::uint8_t>(value >> shift));
    }
    void f32(float value) {
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        u32(bits);
    }
    void string(const std::string& text) {
        u32(static_cast<std::uint32_t>(text.size()));
        bytes += text;
    }
    void raw(const void* data, std::size_t size) { bytes.append(static_cast<const char*>(data), size); }
    void reserve(std::size_t size) { bytes.reserve(size); }

    const std::string& getBytes() const { return bytes; }

private:
    std::string bytes;
};

} // namespace Kiln
