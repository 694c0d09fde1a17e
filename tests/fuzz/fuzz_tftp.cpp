// Any run of datagrams and timer ticks: the firmware write must stay in
// bounds, send only to the device's port 69, count no byte twice, and never
// number a block 0 or past the image.
#include "protocol/upgrade/TftpTransfer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

using namespace kestrel;

namespace {

constexpr uint32_t kDevice = 0xC6120102;

void Check(bool ok) {
    if (!ok)
        std::abort();
}

void CheckStep(const TftpTransfer& t, const TftpStep& step, std::size_t image_size) {
    Check(t.bytes_sent() <= image_size);
    Check(step.device_error.size() <= kMaxDeviceErrorText);
    if (step.progress)
        Check(step.progress->sent <= step.progress->total && step.progress->total == image_size &&
              step.progress->acknowledged < step.progress->sent + 1);
    if (!step.send)
        return;
    const auto& bytes = step.send->bytes;
    Check(step.send->address == kDevice && step.send->port == 69);
    Check(bytes.size() >= 4 && bytes[0] == 0);
    if (bytes[1] == 3) {
        const std::size_t block = std::size_t{bytes[2]} << 8 | bytes[3];
        Check(block >= 1 && (block - 1) * 512 <= image_size);
        Check(bytes.size() - 4 == std::min<std::size_t>(512, image_size - (block - 1) * 512));
    } else {
        Check(bytes[1] == 2);
    }
}

// The events after the image size: a byte whose low two bits pick a tick of
// timer 1, of timer 2, the end of the wait, or a datagram whose length is
// the next byte. Calls take(op, datagram) for each.
template <typename Take> void ForEachEvent(std::span<const uint8_t> rest, Take take) {
    while (!rest.empty()) {
        const uint8_t op = rest[0];
        rest = rest.subspan(1);
        std::span<const uint8_t> datagram;
        if ((op & 3) == 3 && !rest.empty()) {
            const std::size_t length = std::min<std::size_t>(rest[0], rest.size() - 1);
            datagram = rest.subspan(1, length);
            rest = rest.subspan(1 + length);
        }
        take(op, datagram);
    }
}

// The bytes of every image; each start takes a copy of the first n.
const std::vector<uint8_t>& Fill() {
    static const std::vector<uint8_t> fill(0x10000, 0x5A);
    return fill;
}

// The longest run of ACK 0, ACK 1, ACK 2, ... in this order among the
// datagrams: a DATA block goes out only when the one in flight is
// acknowledged, so no transfer of the input gets past that block.
std::size_t AckChain(std::span<const uint8_t> events) {
    std::size_t next = 0;
    ForEachEvent(events, [&](uint8_t, std::span<const uint8_t> datagram) {
        // 2 bytes opcode (4 = ACK), 2 bytes block, both in network order.
        if (datagram.size() >= 4 && datagram[0] == 0 && datagram[1] == 4 &&
            (std::size_t{datagram[2]} << 8 | datagram[3]) == next)
            ++next;
    });
    return next;
}

} // namespace

// Byte 0-1: image size (up to 64 KiB); then the events. The image is cut
// past the last block the input can have acknowledged, plus one byte, so
// that it reads as the declared one as far as any transfer of the input
// gets. Each start takes its own copy of the image: at the declared size
// those copies took most of the memory and time.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::span<const uint8_t> events(data + 2, size - 2);
    const std::size_t image_size =
        std::min(std::size_t{data[0]} << 8 | data[1], AckChain(events) * 512 + 1);
    const auto image = [&] {
        return std::vector<uint8_t>(Fill().begin(),
                                    Fill().begin() + static_cast<std::ptrdiff_t>(image_size));
    };
    TftpTransfer t;
    CheckStep(t, t.Start({kDevice, "/fw", 0}, image()), image_size);

    ForEachEvent(events, [&](uint8_t op, std::span<const uint8_t> datagram) {
        TftpStep step;
        switch (op & 3) {
        case 0:
            step = t.OnDataTimer();
            break;
        case 1:
            step = t.OnRequestTimer();
            break;
        case 2:
            step = t.FinishWaitEnded();
            if (step.outcome == TftpOutcome::Completed || t.state() == TftpTransfer::State::Idle)
                step = t.Start({kDevice, "/fw", op}, image()); // again, as Start would
            break;
        default:
            step = t.OnDatagram(datagram, kDevice);
        }
        CheckStep(t, step, image_size);
    });
    return 0;
}
