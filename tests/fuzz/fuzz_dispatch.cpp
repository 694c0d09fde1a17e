// The whole receive path: a run of datagrams from any senders goes through
// the dispatcher into the discovery and monitor tables. Nothing may crash,
// and after every datagram the rows must still mirror the tables, every
// refresh must name a record in use, and the pending set target must be
// either whole or gone. Input: repeated [sender: 4 bytes][length: 2 bytes]
// [datagram], the last one cut short.

#include "protocol/ByteOrder.h"
#include "protocol/Dispatcher.h"
#include "protocol/PacketHeader.h"
#include "support/FakeListHooks.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

using namespace kestrel;

namespace {

class SilentNotifier : public Notifier {
public:
    void Show(const Message&) override {}
    bool Ask(const Message&) override { return true; }
};

class CheckingTrapHandler : public TrapHandler {
public:
    void HandleTrap(std::span<const uint8_t> fields, const DeviceRecord&) override {
        if (fields.size() > kMaxDatagram - kHeaderSize)
            std::abort();
    }
};

constexpr std::size_t kChunkHead = 6;
constexpr int kMaxDatagrams = 300; // enough to overflow a table of 256

void AddMonitored(ProgramState& state, FakeListHooks& lists, const char* ip, uint32_t address,
                  const char* mac, int32_t image) {
    state.monitor.Append(ZeroRecord());
    DeviceRecord& r = state.monitor.records[static_cast<std::size_t>(state.monitor.count() - 1)];
    SetFieldText(r.ip_text, ip);
    r.ip = address;
    SetFieldText(r.mac_text, mac);
    r.row_state = kRowKnown;
    r.status_image = image;
    lists.monitor_rows.push_back({ip, mac, image});
}

void Check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const ByteReader in(std::span(data, size));
    auto state = std::make_unique<ProgramState>();
    // Take the identifier of the first datagram so most runs pass the check.
    if (const auto first = in.Bytes(kChunkHead, kHeaderSize))
        state->settings.utility_id = DecodeHeader(*first).utility_id;
    state->pending_set_mac = "000000000001";
    state->pending_set_ip = 0xC6120002;
    state->upgrade_target_mac = "000000000003";

    auto lists = std::make_unique<FakeListHooks>(*state);
    AddMonitored(*state, *lists, "192.168.1.10", 0xC0A8010A, "", kImageNone);
    AddMonitored(*state, *lists, "198.18.0.2", 0xC6120002, "000000000002", kImageNone);
    AddMonitored(*state, *lists, "198.18.0.4", 0xC6120004, "000000000004", kImageNotAlive);
    const int monitored = state->monitor.count();

    SilentNotifier notifier;
    CheckingTrapHandler traps;
    Dispatcher dispatcher(*state, *lists, notifier, &traps);

    std::size_t pos = 0;
    for (int n = 0; n < kMaxDatagrams && in.Has(pos, kChunkHead); ++n) {
        const uint32_t sender = *in.U32(pos);
        const std::size_t length = *in.U16(pos + 4);
        pos += kChunkHead;
        const std::size_t available = std::min(length, size - pos);
        dispatcher.DispatchDatagram(*in.Bytes(pos, available), sender);
        pos += available;

        Check(lists->faults.empty());
        Check(state->discovery.count() >= 0 && state->discovery.count() <= kTableCapacity);
        Check(state->monitor.count() == monitored);
        Check(lists->discovery_rows.size() == static_cast<std::size_t>(state->discovery.count()));
        Check(lists->monitor_rows.size() == static_cast<std::size_t>(monitored));
        Check(state->pending_set_mac.empty() == (state->pending_set_ip == 0));
    }
    return 0;
}
