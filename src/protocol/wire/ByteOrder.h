#pragma once
// Big-endian reads and writes through one bounds-checked place, so no code
// does pointer arithmetic on packets by hand.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kestrel {

// Reads from a received buffer; every read checks offset plus size first.
class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }
    bool Has(std::size_t offset, std::size_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    std::optional<uint8_t> U8(std::size_t offset) const {
        if (!Has(offset, 1))
            return std::nullopt;
        return bytes_[offset];
    }
    std::optional<uint16_t> U16(std::size_t offset) const {
        if (!Has(offset, 2))
            return std::nullopt;
        return static_cast<uint16_t>((bytes_[offset] << 8) | bytes_[offset + 1]);
    }
    std::optional<uint32_t> U32(std::size_t offset) const {
        if (!Has(offset, 4))
            return std::nullopt;
        return (uint32_t{bytes_[offset]} << 24) | (uint32_t{bytes_[offset + 1]} << 16) |
               (uint32_t{bytes_[offset + 2]} << 8) | uint32_t{bytes_[offset + 3]};
    }
    // count bytes at offset, or an empty optional when they are not all there.
    std::optional<std::span<const uint8_t>> Bytes(std::size_t offset, std::size_t count) const {
        if (!Has(offset, count))
            return std::nullopt;
        return bytes_.subspan(offset, count);
    }

private:
    std::span<const uint8_t> bytes_;
};

inline void PutU16(std::span<uint8_t> out, std::size_t offset, uint16_t value) {
    out[offset] = static_cast<uint8_t>(value >> 8);
    out[offset + 1] = static_cast<uint8_t>(value);
}

inline void PutU32(std::span<uint8_t> out, std::size_t offset, uint32_t value) {
    out[offset] = static_cast<uint8_t>(value >> 24);
    out[offset + 1] = static_cast<uint8_t>(value >> 16);
    out[offset + 2] = static_cast<uint8_t>(value >> 8);
    out[offset + 3] = static_cast<uint8_t>(value);
}

} // namespace kestrel
