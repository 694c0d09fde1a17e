// Decoding a typical discovery reply: header, names, four addresses, DHCP,
// group interval and field mask. Every reply the program receives takes this
// path, so it must stay cheap.
#include "protocol/wire/PacketHeader.h"
#include "protocol/wire/TlvCodec.h"

#include <benchmark/benchmark.h>

#include <span>
#include <vector>

using namespace kestrel;

namespace {

std::vector<uint8_t> TypicalReply() {
    std::vector<uint8_t> d = {
        0x00, 0x02, 0x00, 0x01, 0x00, 0x11, 0xAA, 0xBB, 0xCC, 0xDD, // versions, mac
        0x00, 0x02, 0x00, 0x02, 0x00, 0x00, 0x4B, 0x45, 0x53, 0x54, // ifver, command, status, id
    };
    d.resize(kHeaderSize, 0);
    const std::vector<uint8_t> fields = {
        0x00, 0x01, 0x00, 0x0F, 'K',  'S',  '-',  '8',  '0',  '2',  '4',  '-',  'P',  'o',
        'E',                                                                         // product
        0x00, 0x02, 0x00, 0x0D, 'c',  'o',  'r',  'e',  '-',  's',  'w',  '0',  '1', // system
        0x00, 0x03, 0x00, 0x0E, 'r',  'a',  'c',  'k',  ' ',  '4',  ' ',  'r',  'o',
        'o',                                            // location
        0x00, 0x04, 0x00, 0x08, 0xC0, 0xA8, 0x01, 0x0A, // ip
        0x00, 0x05, 0x00, 0x08, 0xFF, 0xFF, 0xFF, 0x00, // mask
        0x00, 0x06, 0x00, 0x08, 0xC0, 0xA8, 0x01, 0x01, // gateway
        0x00, 0x07, 0x00, 0x08, 0xC0, 0xA8, 0x01, 0x64, // trap
        0x00, 0x0A, 0x00, 0x06, 0x00, 0x01,             // dhcp
        0x00, 0x16, 0x00, 0x08, 0x00, 0x00, 0x01, 0x2C, // group interval
        0x00, 0x81, 0x00, 0x14, 0x00, 0x20, 0x03, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0xE0, 0x00, 0x00, 0x00, // field mask
    };
    d.insert(d.end(), fields.begin(), fields.end());
    return d;
}

void BM_DecodeDiscoveryReply(benchmark::State& state) {
    const std::vector<uint8_t> datagram = TypicalReply();
    const std::span<const uint8_t> bytes(datagram);
    DeviceRecord r = ZeroRecord();
    for (auto _ : state) {
        const PacketHeader header = DecodeHeader(bytes);
        r = ZeroRecord();
        r.dhcp_state = kDhcpNotReported;
        r.group_interval = -1;
        r.interface_version = header.interface_version;
        SetFieldText(r.mac_text, FormatMacText(header.mac));
        DecodeReplyFields(bytes.subspan(kHeaderSize), r);
        benchmark::DoNotOptimize(r);
    }
    // The last field must have been reached, or the figure means nothing.
    if (r.field_mask[3] != 0xE0000000 || r.group_interval != 300)
        state.SkipWithError("the reply did not decode completely");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(datagram.size()));
}
BENCHMARK(BM_DecodeDiscoveryReply);

} // namespace

BENCHMARK_MAIN();
