#include "TftpReceiver.h"

#include "protocol/wire/ByteOrder.h"

#include <algorithm>

namespace kestrel::sim {

std::vector<uint8_t> TftpAck(uint16_t block) {
    std::vector<uint8_t> out(4);
    PutU16(out, 0, kTftpAck);
    PutU16(out, 2, block);
    return out;
}

std::vector<uint8_t> TftpErrorPacket(uint16_t code, std::string_view message) {
    // Sized once: growing a 4-byte vector trips a false array-bounds
    // warning in GCC 12 at -O2.
    std::vector<uint8_t> out(4 + message.size() + 1, 0);
    PutU16(out, 0, kTftpError);
    PutU16(out, 2, code);
    std::copy(message.begin(), message.end(), out.begin() + 4);
    return out;
}

std::optional<WriteRequest> ParseWriteRequest(std::span<const uint8_t> packet) {
    const ByteReader in(packet);
    if (in.U16(0) != kTftpWrq)
        return std::nullopt;
    // file name NUL mode NUL, both inside the packet
    const auto rest = packet.subspan(2);
    const auto name_end = std::find(rest.begin(), rest.end(), uint8_t{0});
    if (name_end == rest.end())
        return std::nullopt;
    const auto mode_end = std::find(name_end + 1, rest.end(), uint8_t{0});
    if (mode_end == rest.end())
        return std::nullopt;
    WriteRequest r;
    r.file_name.assign(rest.begin(), name_end);
    r.mode.assign(name_end + 1, mode_end);
    std::transform(r.mode.begin(), r.mode.end(), r.mode.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return r;
}

std::optional<std::vector<uint8_t>> TftpReceiver::OnData(std::span<const uint8_t> packet) {
    const ByteReader in(packet);
    const auto opcode = in.U16(0);
    const auto block = in.U16(2);
    if (opcode != kTftpData || !block || failed_)
        return std::nullopt;
    if (*block == last_block_ && last_block_ != 0)
        return TftpAck(last_block_); // our ACK was lost: say it again
    if (complete_ || *block != static_cast<uint16_t>(last_block_ + 1) || *block == 0)
        return std::nullopt;
    const std::size_t size = packet.size() - 4;
    if (size > kTftpBlock || image_.size() + size > kMaxImage) {
        failed_ = true;
        return TftpErrorPacket(3, "Disk full or allocation exceeded");
    }
    image_.insert(image_.end(), packet.begin() + 4, packet.end());
    last_block_ = *block;
    complete_ = size < kTftpBlock;
    if (!complete_ && last_block_ == 0xFFFF) {
        // No block number is left for the end of the file.
        failed_ = true;
        return TftpErrorPacket(3, "Disk full or allocation exceeded");
    }
    return TftpAck(last_block_);
}

std::optional<std::vector<uint8_t>> TftpReceiver::OnRepeatedRequest() const {
    if (last_block_ != 0 || failed_)
        return std::nullopt;
    return TftpAck(0);
}

uint64_t Fnv1a64(std::span<const uint8_t> bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (uint8_t b : bytes) {
        hash ^= b;
        hash *= 1099511628211ull;
    }
    return hash;
}

} // namespace kestrel::sim
