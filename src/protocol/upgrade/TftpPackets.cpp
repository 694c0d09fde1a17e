#include "protocol/upgrade/TftpPackets.h"

#include "protocol/wire/ByteOrder.h"

#include <algorithm>

namespace kestrel {

std::vector<uint8_t> BuildWriteRequest(std::string_view file_name) {
    std::vector<uint8_t> out(2 + file_name.size() + 1 + kTftpMode.size() + 1, 0);
    PutU16(out, 0, kTftpOpWriteRequest);
    auto at = std::copy(file_name.begin(), file_name.end(), out.begin() + 2);
    std::copy(kTftpMode.begin(), kTftpMode.end(), at + 1);
    return out;
}

std::vector<uint8_t> BuildDataPacket(uint16_t block, std::span<const uint8_t> bytes) {
    std::vector<uint8_t> out(4 + bytes.size(), 0);
    PutU16(out, 0, kTftpOpData);
    PutU16(out, 2, block);
    std::copy(bytes.begin(), bytes.end(), out.begin() + 4);
    return out;
}

std::optional<TftpPacket> ParseTftpPacket(std::span<const uint8_t> datagram) {
    const ByteReader in(datagram.first(std::min(datagram.size(), kTftpReadLimit)));
    const auto opcode = in.U16(0);
    const auto number = in.U16(2);
    if (!opcode || !number)
        return std::nullopt;
    TftpPacket packet{*opcode, *number, {}};
    if (packet.opcode == kTftpOpError) {
        const auto rest = *in.Bytes(4, in.size() - 4);
        const auto end = std::find(rest.begin(), rest.end(), uint8_t{0});
        packet.text.assign(rest.begin(), end);
    }
    return packet;
}

} // namespace kestrel
