// The whole receive path: a run of datagrams from any senders goes through
// the dispatcher into the discovery and monitor tables. Input: repeated
// [sender: 4 bytes][length: 2 bytes][datagram], the last one cut short.
#include "protocol/ByteOrder.h"
#include "protocol/Dispatcher.h"
#include "protocol/PacketHeader.h"

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
    void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
    bool AskOkCancel(std::string_view, std::string_view, MessageIcon) override { return true; }
};

// Checks every index the dispatcher hands to the lists.
class CheckingLists : public ListHooks {
public:
    explicit CheckingLists(const ProgramState& state) : state_(state) {}
    void RefreshDiscoveryRow(int i) override { Check(i, state_.discovery.count); }
    void RefreshMonitorRow(int i) override { Check(i, state_.monitor.count); }
    void ClearDiscoveryRows() override {}
    SelectionMemo RememberSelection() override { return {}; }
    void RestoreSelection(const SelectionMemo&) override {}

private:
    static void Check(int i, int count) {
        if (i < 0 || i >= count || count > kTableCapacity)
            std::abort();
    }
    const ProgramState& state_;
};

constexpr std::size_t kChunkHead = 6;
constexpr int kMaxDatagrams = 300; // enough to overflow a table of 256

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const ByteReader in(std::span(data, size));
    auto state = std::make_unique<ProgramState>();
    // Take the identifier of the first datagram so most runs pass the check.
    if (const auto first = in.Bytes(kChunkHead, kHeaderSize))
        state->settings.utility_id = DecodeHeader(*first).utility_id;
    state->monitor.count = 1; // one monitored agent to match against
    SetFieldText(state->monitor.records[0].ip_text, "192.168.1.10");
    state->monitor.records[0].ip = 0xC0A8010A;

    CheckingLists lists(*state);
    SilentNotifier notifier;
    Dispatcher dispatcher(*state, lists, notifier);

    std::size_t pos = 0;
    for (int n = 0; n < kMaxDatagrams && in.Has(pos, kChunkHead); ++n) {
        const uint32_t sender = *in.U32(pos);
        const std::size_t length = *in.U16(pos + 4);
        pos += kChunkHead;
        const std::size_t available = std::min(length, size - pos);
        dispatcher.DispatchDatagram(*in.Bytes(pos, available), sender);
        pos += available;
    }
    if (state->discovery.count < 0 || state->discovery.count > kTableCapacity ||
        state->monitor.count < 0 || state->monitor.count > kTableCapacity)
        std::abort();
    return 0;
}
