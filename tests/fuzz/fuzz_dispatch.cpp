// The whole receive path: a run of datagrams from any senders goes through
// the dispatcher into the discovery and monitor tables. Nothing may crash,
// and after every datagram the rows must still mirror the tables, every
// refresh must name a record in use, and the pending set target must be
// either whole or gone.
//
// Input: repeated [sender: 4 bytes][length: 2 bytes][datagram], the last one
// cut short. A length with its top bit set repeats the datagram that follows
// (its own 2-byte length next) (length & 0x1FF) times, each copy from another
// agent (sender and MAC numbered), so a short input can fill a table.
// A message box here lets the next datagrams in before it returns, as the
// event loop of a modal box would.

#include "protocol/dispatch/Dispatcher.h"
#include "protocol/wire/ByteOrder.h"
#include "protocol/wire/PacketHeader.h"
#include "support/CoreState.h"
#include "support/FakeListHooks.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <vector>

using namespace kestrel;

namespace {

constexpr std::size_t kChunkHead = 6;
constexpr int kMaxDatagrams = 600; // enough to overflow a table of 256
constexpr uint16_t kRepeatFlag = 0x8000;
constexpr std::size_t kMacOffset = 4;
constexpr int kMaxBoxDepth = 3;

void Check(bool ok) {
    if (!ok)
        std::abort();
}

// Hands out the input's datagrams one at a time, repeats expanded.
class Feeder {
public:
    explicit Feeder(std::span<const uint8_t> data) : in_(data), size_(data.size()) {}

    // The next datagram and its sender; false when the input is used up.
    bool Next(std::vector<uint8_t>& bytes, uint32_t& sender) {
        if (handed_out_ >= kMaxDatagrams || (copies_left_ == 0 && !Load()))
            return false;
        ++handed_out_;
        --copies_left_;
        bytes = datagram_;
        sender = sender_;
        if (numbered_) {
            // Copy n comes from an agent of its own: address and MAC end in n.
            const auto n = static_cast<uint16_t>(copy_++);
            sender = (sender & 0xFFFF0000u) | n;
            if (bytes.size() >= kMacOffset + 6) {
                bytes[kMacOffset + 4] = static_cast<uint8_t>(n >> 8);
                bytes[kMacOffset + 5] = static_cast<uint8_t>(n);
            }
        }
        return true;
    }

private:
    bool Load() {
        if (!in_.Has(pos_, kChunkHead))
            return false;
        sender_ = *in_.U32(pos_);
        std::size_t length = *in_.U16(pos_ + 4);
        pos_ += kChunkHead;
        numbered_ = (length & kRepeatFlag) != 0;
        copies_left_ = 1;
        copy_ = 0;
        if (numbered_) {
            copies_left_ = static_cast<int>(length & 0x1FF);
            if (copies_left_ == 0 || !in_.Has(pos_, 2))
                return false;
            length = *in_.U16(pos_);
            pos_ += 2;
        }
        const std::size_t available = std::min(length, size_ - pos_);
        const auto bytes = *in_.Bytes(pos_, available);
        datagram_.assign(bytes.begin(), bytes.end());
        pos_ += available;
        return true;
    }

    const ByteReader in_;
    std::size_t size_;
    std::size_t pos_ = 0;
    int handed_out_ = 0;
    std::vector<uint8_t> datagram_;
    uint32_t sender_ = 0;
    int copies_left_ = 0;
    int copy_ = 0;
    bool numbered_ = false;
};

struct Rig;

// A front end that says every outcome in a box, which, while open, lets up
// to two more datagrams through.
class ReentrantEvents : public ProtocolEvents {
public:
    explicit ReentrantEvents(Rig& rig) : rig_(rig) {}
    void OnStatusReply(const StatusReply& reply) override {
        Check(reply.mac_text.size() == 12);
        Box();
    }
    void OnSetConfirmed(const SetConfirmation&) override { Box(); }
    void OnAgentStored(const AgentStored& stored) override;
    void OnDiscoveryTableFull() override { Box(); }
    void OnTriggerAcknowledged(std::string_view mac) override {
        Check(mac.size() == 12);
        Box();
    }

private:
    void Box();

    Rig& rig_;
    int depth_ = 0;
};

class CheckingTrapHandler : public TrapHandler {
public:
    void HandleTrap(std::span<const uint8_t> fields, const DeviceRecord&) override {
        if (fields.size() > kMaxDatagram - kHeaderSize)
            std::abort();
    }
};

// The tables and the lists' mirror that every input starts from, kept for
// the whole process and made fresh for each input. Allocated anew for every
// input, the tables (150 KB) and the mirror's growing logs took most of the
// time and filled the sanitizer's quarantine.
class FreshStart {
public:
    CoreState& state() { return *state_; }
    FakeListHooks& lists() { return lists_; }

    FreshStart& Reset() {
        state_.emplace(); // in the same storage: the mirror's reference holds
        lists_.discovery_rows.clear();
        lists_.monitor_rows.clear();
        lists_.calls.clear();
        lists_.faults.clear();
        lists_.selection = {};
        lists_.restored.clear();
        return *this;
    }

private:
    std::optional<CoreState> state_{std::in_place};
    FakeListHooks lists_{state_->tables};
};

FreshStart& ResetStart() {
    static FreshStart start;
    return start.Reset();
}

struct Rig {
    explicit Rig(std::span<const uint8_t> data) : feeder(data) {}

    bool DispatchNext() {
        std::vector<uint8_t> bytes;
        uint32_t sender = 0;
        if (!feeder.Next(bytes, sender))
            return false;
        dispatcher.DispatchDatagram(bytes, sender);
        CheckInvariants();
        return true;
    }

    void CheckInvariants() const {
        Check(lists.faults.empty());
        const DeviceTables& tables = state.tables;
        Check(tables.discovery.count() >= 0 && tables.discovery.count() <= kTableCapacity);
        Check(tables.monitor.count() == monitored);
        Check(lists.discovery_rows.size() == static_cast<std::size_t>(tables.discovery.count()));
        Check(lists.monitor_rows.size() == static_cast<std::size_t>(monitored));
        Check(state.exchange.pending_mac.empty() == (state.exchange.pending_ip == 0));
    }

    void AddMonitored(const char* ip, uint32_t address, const char* mac, int32_t image) {
        DeviceTable& monitor = state.tables.monitor;
        monitor.Append(ZeroRecord());
        DeviceRecord& r = monitor.records[static_cast<std::size_t>(monitor.count() - 1)];
        SetFieldText(r.ip_text, ip);
        r.ip = address;
        SetFieldText(r.mac_text, mac);
        r.row_state = kRowKnown;
        r.status_image = image;
        lists.monitor_rows.push_back({ip, mac, image});
        monitored = monitor.count();
    }

    Feeder feeder;
    FreshStart& start = ResetStart();
    CoreState& state = start.state();
    FakeListHooks& lists = start.lists();
    ReentrantEvents events{*this};
    CheckingTrapHandler traps;
    Dispatcher dispatcher{state.settings, state.exchange, state.tables, lists, events, &traps};
    int monitored = 0;
};

void ReentrantEvents::OnAgentStored(const AgentStored& stored) {
    // What it names is in use at the moment it is said.
    const DeviceTable& table =
        stored.list == AgentList::Monitor ? rig_.state.tables.monitor : rig_.state.tables.discovery;
    Check(table.InUse(stored.index));
    Check(!stored.back || stored.list == AgentList::Monitor);
}

void ReentrantEvents::Box() {
    if (depth_ >= kMaxBoxDepth)
        return;
    ++depth_;
    for (int i = 0; i < 2 && rig_.DispatchNext(); ++i) {
    }
    --depth_;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    auto rig = std::make_unique<Rig>(std::span(data, size));
    // Take the identifier of the first datagram so most runs pass the check.
    const ByteReader in(std::span(data, size));
    const std::size_t first_at =
        in.Has(4, 2) && (*in.U16(4) & kRepeatFlag) ? kChunkHead + 2 : kChunkHead;
    if (const auto first = in.Bytes(first_at, kHeaderSize))
        rig->state.settings.utility_id = DecodeHeader(*first).utility_id;
    rig->state.exchange.pending_mac = "000000000001";
    rig->state.exchange.pending_ip = 0xC6120002;

    rig->AddMonitored("192.168.1.10", 0xC0A8010A, "", kImageNone);
    rig->AddMonitored("198.18.0.2", 0xC6120002, "000000000002", kImageNone);
    rig->AddMonitored("198.18.0.4", 0xC6120004, "000000000004", kImageNotAlive);

    while (rig->DispatchNext()) {
    }
    return 0;
}
