#pragma once
// The agent's end of a TFTP write (RFC 1350, octet mode): one transfer, fed
// packet by packet, answering with the packet to send back. Pure: no sockets,
// no clock.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrel::sim {

inline constexpr uint16_t kTftpRrq = 1;
inline constexpr uint16_t kTftpWrq = 2;
inline constexpr uint16_t kTftpData = 3;
inline constexpr uint16_t kTftpAck = 4;
inline constexpr uint16_t kTftpError = 5;
inline constexpr std::size_t kTftpBlock = 512;
// Largest image an agent takes: what 16-bit block numbers can count.
inline constexpr std::size_t kMaxImage = 65535 * kTftpBlock;

std::vector<uint8_t> TftpAck(uint16_t block);
std::vector<uint8_t> TftpErrorPacket(uint16_t code, std::string_view message);

// A write request's file name and mode; empty when the packet is not one.
struct WriteRequest {
    std::string file_name;
    std::string mode;
};
std::optional<WriteRequest> ParseWriteRequest(std::span<const uint8_t> packet);

class TftpReceiver {
public:
    explicit TftpReceiver(std::string file_name) : file_name_(std::move(file_name)) {}

    // The answer to a DATA packet: ACK of the new block, a repeated ACK for a
    // duplicate of the last block, nothing for anything else, or an ERROR
    // when the image grows too large.
    std::optional<std::vector<uint8_t>> OnData(std::span<const uint8_t> packet);
    // The answer to a repeated write request: ACK 0 until the first block.
    std::optional<std::vector<uint8_t>> OnRepeatedRequest() const;

    bool Complete() const { return complete_; }
    bool Failed() const { return failed_; }
    uint16_t LastBlock() const { return last_block_; }
    const std::vector<uint8_t>& Image() const { return image_; }
    const std::string& FileName() const { return file_name_; }

private:
    std::string file_name_;
    std::vector<uint8_t> image_;
    uint16_t last_block_ = 0; // last block taken; 0 before the first
    bool complete_ = false;
    bool failed_ = false;
};

uint64_t Fnv1a64(std::span<const uint8_t> bytes);

} // namespace kestrel::sim
