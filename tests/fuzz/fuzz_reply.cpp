// Any datagram, from any sender: the header and TLV decoders must stay in
// bounds, terminate, and leave every text field of the record terminated.
#include "protocol/wire/PacketHeader.h"
#include "protocol/wire/TlvCodec.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

using namespace kestrel;

namespace {
template <std::size_t N> void CheckTerminated(const char (&field)[N]) {
    if (std::memchr(field, 0, N) == nullptr)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::span<const uint8_t> datagram(data, size);
    if (datagram.size() > kMaxDatagram)
        datagram = datagram.first(kMaxDatagram);

    const PacketHeader header = DecodeHeader(datagram);

    // Preset the way the dispatcher does before decoding.
    DeviceRecord r = ZeroRecord();
    r.dhcp_state = kDhcpNotReported;
    r.group_interval = -1;
    r.interface_version = header.interface_version;
    SetFieldText(r.mac_text, FormatMacText(header.mac));
    if (datagram.size() > kHeaderSize)
        DecodeReplyFields(datagram.subspan(kHeaderSize), r);

    CheckTerminated(r.mac_text);
    CheckTerminated(r.product_name);
    CheckTerminated(r.system_name);
    CheckTerminated(r.location);
    CheckTerminated(r.ip_text);
    CheckTerminated(r.trap_ip_text);
    CheckTerminated(r.subnet_mask_text);
    CheckTerminated(r.gateway_text);
    CheckTerminated(r.password);
    CheckTerminated(r.new_password);

    // What was decoded goes back out in a set request: it must fit.
    std::array<uint8_t, kMaxDatagram - kHeaderSize - 20> out;
    uint32_t pending = 0;
    for (const DhcpChange change :
         {DhcpChange::Untouched, DhcpChange::SwitchOff, DhcpChange::SwitchOn}) {
        if (EncodeSetFields(out, r, change, pending) > out.size())
            std::abort();
    }
    if (EncodePasswordFields(out, r) > out.size())
        std::abort();
    return 0;
}
