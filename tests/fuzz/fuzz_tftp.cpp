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

} // namespace

// Byte 0-1: image size (up to 64 KiB); then events: a byte whose low two
// bits pick a tick of timer 1, of timer 2, the end of the wait, or a
// datagram whose length is the next byte.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::size_t image_size = std::size_t{data[0]} << 8 | data[1];
    std::vector<uint8_t> image(image_size, 0x5A);
    TftpTransfer t;
    CheckStep(t, t.Start({kDevice, "/fw", 0}, image), image_size);

    std::span<const uint8_t> rest(data + 2, size - 2);
    while (!rest.empty()) {
        const uint8_t op = rest[0];
        rest = rest.subspan(1);
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
                step = t.Start({kDevice, "/fw", op}, image); // again, as Start would
            break;
        default: {
            const std::size_t length =
                rest.empty() ? 0 : std::min<std::size_t>(rest[0], rest.size() - 1);
            const auto datagram = rest.empty() ? rest : rest.subspan(1, length);
            rest = rest.empty() ? rest : rest.subspan(1 + length);
            step = t.OnDatagram(datagram, kDevice);
        }
        }
        CheckStep(t, step, image_size);
    }
    return 0;
}
