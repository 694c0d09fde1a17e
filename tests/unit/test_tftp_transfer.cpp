#include "protocol/upgrade/TftpTransfer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kestrel;

namespace {

using Bytes = std::vector<uint8_t>;
using State = TftpTransfer::State;
using Outcome = TftpOutcome;

constexpr uint32_t kDevice = 0xC6120102; // 198.18.1.2
constexpr const char* kPath = "/fw/a.hex";

// opcode 2, "/fw/a.hex", NUL, "octet", NUL
const Bytes kWriteRequest = {0x00, 0x02, '/',  'f', 'w', '/', 'a', '.', 'h',
                             'e',  'x',  0x00, 'o', 'c', 't', 'e', 't', 0x00};

// Every byte tells its block and place, so a block read from the wrong
// offset shows.
Bytes Image(std::size_t size) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i)
        image[i] = static_cast<uint8_t>(i * 7 + i / 512);
    return image;
}

// A DATA packet: the four head bytes as written, then that stretch of the image.
Bytes Data(Bytes head, std::size_t image_size, std::size_t offset, std::size_t count) {
    const Bytes image = Image(image_size);
    head.insert(head.end(), image.begin() + static_cast<long>(offset),
                image.begin() + static_cast<long>(offset + count));
    return head;
}

constexpr uint32_t kStranger = 0xC612013C; // 198.18.1.60

struct Event {
    enum Kind { Start, Datagram, DataTick, RequestTick, FinishWait } kind;
    Bytes bytes = {};
    uint32_t from = kDevice; // the sender of a datagram
};
const Event kStart{Event::Start};
const Event kDataTick{Event::DataTick};
const Event kRequestTick{Event::RequestTick};
const Event kFinishWait{Event::FinishWait};
Event In(Bytes bytes, uint32_t from = kDevice) {
    return {Event::Datagram, std::move(bytes), from};
}
const Event kAck0 = In({0x00, 0x04, 0x00, 0x00});
const Event kAck1 = In({0x00, 0x04, 0x00, 0x01});
const Event kAck2 = In({0x00, 0x04, 0x00, 0x02});
const Event kAck3 = In({0x00, 0x04, 0x00, 0x03});

struct Rig {
    TftpTransfer transfer;
    std::size_t image_size = 1000;
    uint32_t word3 = 0;

    TftpStep Apply(const Event& e) {
        switch (e.kind) {
        case Event::Start:
            return transfer.Start({kDevice, kPath, word3}, Image(image_size));
        case Event::Datagram:
            return transfer.OnDatagram(e.bytes, e.from);
        case Event::DataTick:
            return transfer.OnDataTimer();
        case Event::RequestTick:
            return transfer.OnRequestTimer();
        case Event::FinishWait:
            break;
        }
        return transfer.FinishWaitEnded();
    }
    void ApplyAll(const std::vector<Event>& events) {
        for (const Event& e : events)
            Apply(e);
    }
};

struct Case {
    const char* name;
    std::size_t image_size = 1000;
    uint32_t word3 = 0;
    std::vector<Event> before; // brings the transfer into `from`
    State from;
    Event event;
    State to;
    Bytes sent = {}; // empty: nothing sent
    std::optional<TransferProgress> progress = {};
    Outcome outcome = Outcome::None;
    uint32_t bytes_sent = 0;
    TimerAction data_timer = TimerAction::Keep;
    TimerAction request_timer = TimerAction::Keep;
    std::optional<std::string> refusal = {}; // its text; caption and icon are Error
    std::string device_error = {};
    bool reboot_hint = false;
    bool close_socket = false;
    int finish_after_ms = 0;
};

TransferProgress Progress(uint32_t sent, uint32_t acknowledged, uint32_t total, uint16_t block,
                          bool last) {
    return {sent, acknowledged, total, block, last};
}

using TA = TimerAction;

// Every step of a transfer: (state, event) -> (next state, datagram, report).
TEST(TftpTransfer, StateEventTable) {
    const std::vector<Event> to_block1 = {kStart, kAck0};
    const std::vector<Event> to_block2 = {kStart, kAck0, kAck1};
    const std::vector<Event> to_block3 = {kStart, kAck0, kAck1, kAck2};
    const std::vector<Event> to_finishing = {kStart, kAck0, kAck1, kAck2}; // 1000 bytes
    const std::string long_text(150, 'L');
    Bytes long_error = {0x00, 0x05, 0x00, 0x03};
    long_error.insert(long_error.end(), long_text.begin(), long_text.end());
    long_error.push_back(0x00);

    // clang-format off
    const std::vector<Case> cases = {
        // The write request.
        {.name = "start sends the write request", .before = {}, .from = State::Idle,
         .event = kStart, .to = State::Requesting, .sent = kWriteRequest,
         .request_timer = TA::Start},
        {.name = "first timer-2 tick only arms", .before = {kStart}, .from = State::Requesting,
         .event = kRequestTick, .to = State::Requesting},
        {.name = "second timer-2 tick resends the request", .before = {kStart, kRequestTick},
         .from = State::Requesting, .event = kRequestTick, .to = State::Requesting,
         .sent = kWriteRequest},
        {.name = "timer 1 does nothing before ACK 0", .before = {kStart, kDataTick},
         .from = State::Requesting, .event = kDataTick, .to = State::Requesting},
        {.name = "ACK 1 before ACK 0 is ignored", .before = {kStart}, .from = State::Requesting,
         .event = kAck1, .to = State::Requesting},

        // 1000 bytes: 512 + 488.
        {.name = "ACK 0 sends block 1", .before = {kStart},
         .from = State::Requesting, .event = kAck0, .to = State::Sending,
         .sent = Data({0x00, 0x03, 0x00, 0x01}, 1000, 0, 512),
         .progress = Progress(512, 0, 1000, 1, false), .bytes_sent = 512,
         .data_timer = TA::Start, .request_timer = TA::Stop},
        {.name = "ACK 1 sends the short block 2", .before = to_block1, .from = State::Sending,
         .event = kAck1, .to = State::Sending,
         .sent = Data({0x00, 0x03, 0x00, 0x02}, 1000, 512, 488),
         .progress = Progress(1000, 512, 1000, 2, true), .bytes_sent = 1000},
        {.name = "ACK of the last block: wait 5 s", .before = to_block2, .from = State::Sending,
         .event = kAck2, .to = State::Finishing, .data_timer = TA::Stop,
         .request_timer = TA::Stop, .finish_after_ms = 5000},
        {.name = "end of the wait completes", .before = to_finishing, .from = State::Finishing,
         .event = kFinishWait, .to = State::Idle, .outcome = Outcome::Completed,
         .close_socket = true},

        // 1024 bytes: 512 + 512 + an empty block.
        {.name = "1024: block 2 is not the last", .image_size = 1024, .before = to_block1,
         .from = State::Sending, .event = kAck1, .to = State::Sending,
         .sent = Data({0x00, 0x03, 0x00, 0x02}, 1024, 512, 512),
         .progress = Progress(1024, 512, 1024, 2, false), .bytes_sent = 1024},
        {.name = "1024: an empty block 3 ends the file", .image_size = 1024, .before = to_block2,
         .from = State::Sending, .event = kAck2, .to = State::Sending,
         .sent = {0x00, 0x03, 0x00, 0x03}, .progress = Progress(1024, 1024, 1024, 3, true),
         .bytes_sent = 1024},
        {.name = "1024: ACK 3 completes", .image_size = 1024, .before = to_block3,
         .from = State::Sending, .event = kAck3, .to = State::Finishing,
         .data_timer = TA::Stop, .request_timer = TA::Stop, .finish_after_ms = 5000},

        // An empty file.
        {.name = "empty: block 1 is empty and last", .image_size = 0, .before = {kStart},
         .from = State::Requesting, .event = kAck0, .to = State::Sending,
         .sent = {0x00, 0x03, 0x00, 0x01}, .progress = Progress(0, 0, 0, 1, true),
         .data_timer = TA::Start, .request_timer = TA::Stop},
        {.name = "empty: ACK 1 completes", .image_size = 0, .before = to_block1,
         .from = State::Sending, .event = kAck1, .to = State::Finishing,
         .data_timer = TA::Stop, .request_timer = TA::Stop, .finish_after_ms = 5000},

        // ACKs that are not for the block out.
        {.name = "duplicate ACK of an older block", .image_size = 1024, .before = to_block2,
         .from = State::Sending, .event = kAck1, .to = State::Sending, .bytes_sent = 1024},
        {.name = "second ACK 0 once block 1 is out", .before = to_block1,
         .from = State::Sending, .event = kAck0, .to = State::Sending, .bytes_sent = 512},
        {.name = "ACK of a block not sent yet", .image_size = 1024, .before = to_block1,
         .from = State::Sending, .event = kAck3, .to = State::Sending, .bytes_sent = 512},
        {.name = "ACK 65535 before the last block is out", .image_size = 1024,
         .before = to_block1, .from = State::Sending, .event = In({0x00, 0x04, 0xFF, 0xFF}),
         .to = State::Sending, .bytes_sent = 512},
        {.name = "other opcodes are ignored", .before = to_block1, .from = State::Sending,
         .event = In({0x00, 0x03, 0x00, 0x01, 0xAA}), .to = State::Sending, .bytes_sent = 512},
        {.name = "a short datagram is ignored", .before = to_block1, .from = State::Sending,
         .event = In({0x00, 0x04, 0x00}), .to = State::Sending, .bytes_sent = 512},

        // DATA retransmission.
        {.name = "first timer-1 tick after a send only arms", .before = to_block1,
         .from = State::Sending, .event = kDataTick, .to = State::Sending, .bytes_sent = 512},
        {.name = "second tick resends block 1, counted once, no new progress",
         .before = {kStart, kAck0, kDataTick},
         .from = State::Sending, .event = kDataTick, .to = State::Sending,
         .sent = Data({0x00, 0x03, 0x00, 0x01}, 1000, 0, 512), .bytes_sent = 512,
         .data_timer = TA::Start},
        {.name = "resending block 2 reports no new progress, counted once", .image_size = 1024,
         .before = {kStart, kAck0, kAck1, kDataTick}, .from = State::Sending,
         .event = kDataTick, .to = State::Sending,
         .sent = Data({0x00, 0x03, 0x00, 0x02}, 1024, 512, 512), .bytes_sent = 1024},
        {.name = "timer 2 does nothing once ACK 0 came", .before = {kStart, kRequestTick, kAck0},
         .from = State::Sending, .event = kRequestTick, .to = State::Sending,
         .bytes_sent = 512},

        // The device's ERROR packet.
        {.name = "ERROR to the write request, reboot hint for word 3 = 0", .before = {kStart},
         .from = State::Requesting,
         .event = In({0x00, 0x05, 0x00, 0x02, 'D', 'e', 'n', 'i', 'e', 'd', 0x00}),
         .to = State::Idle, .outcome = Outcome::DeviceError,
         .data_timer = TA::Stop, .request_timer = TA::Stop, .device_error = "Denied",
         .reboot_hint = true, .close_socket = true},
        {.name = "ERROR while sending, no hint with a top bit of word 3", .word3 = 0x20000000,
         .before = to_block1, .from = State::Sending,
         .event = In({0x00, 0x05, 0x00, 0x03, 'F', 'u', 'l', 'l', 0x00}), .to = State::Idle,
         .outcome = Outcome::DeviceError, .data_timer = TA::Stop,
         .request_timer = TA::Stop, .device_error = "Full", .reboot_hint = false,
         .close_socket = true},
        {.name = "ERROR just under the top bits still gets the hint", .word3 = 0x1FFFFFFF,
         .before = to_block1, .from = State::Sending,
         .event = In({0x00, 0x05, 0x00, 0x00, 'x', 0x00}), .to = State::Idle,
         .outcome = Outcome::DeviceError, .data_timer = TA::Stop, .request_timer = TA::Stop,
         .device_error = "x", .reboot_hint = true, .close_socket = true},
        {.name = "ERROR with a long message is cut", .word3 = 0x80000000, .before = to_block1,
         .from = State::Sending, .event = In(long_error), .to = State::Idle,
         .outcome = Outcome::DeviceError, .data_timer = TA::Stop, .request_timer = TA::Stop,
         .device_error = std::string(96, 'L') + "...", .reboot_hint = false,
         .close_socket = true},

        // Nothing happens where no transfer runs.
        {.name = "idle ignores ACKs", .before = {}, .from = State::Idle, .event = kAck0,
         .to = State::Idle},
        {.name = "idle ignores ticks", .before = {}, .from = State::Idle, .event = kDataTick,
         .to = State::Idle},
        {.name = "idle ignores the end of a wait", .before = {}, .from = State::Idle,
         .event = kFinishWait, .to = State::Idle},
        {.name = "finishing ignores a repeated last ACK", .before = to_finishing,
         .from = State::Finishing, .event = kAck2, .to = State::Finishing},
        {.name = "finishing ignores ERROR", .before = to_finishing, .from = State::Finishing,
         .event = In({0x00, 0x05, 0x00, 0x00, 'x', 0x00}), .to = State::Finishing},
        {.name = "finishing ignores timer 1", .before = to_finishing, .from = State::Finishing,
         .event = kDataTick, .to = State::Finishing},
        {.name = "start while a transfer runs does nothing", .before = to_block1,
         .from = State::Sending, .event = kStart, .to = State::Sending, .bytes_sent = 512},

        // 65535 full blocks would need block number 0 again.
        {.name = "an image of 65535 blocks or more is refused", .image_size = 65535 * 512,
         .before = {}, .from = State::Idle, .event = kStart, .to = State::Idle,
         .outcome = Outcome::Refused,
         .refusal = "Firmware file too large: at most 65535 blocks of 512 bytes (33553919 bytes)",
         .close_socket = true},
    };
    // clang-format on

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.image_size = c.image_size;
        rig.word3 = c.word3;
        rig.ApplyAll(c.before);
        ASSERT_EQ(rig.transfer.state(), c.from);

        const TftpStep step = rig.Apply(c.event);
        EXPECT_EQ(rig.transfer.state(), c.to);
        if (c.sent.empty()) {
            EXPECT_FALSE(step.send.has_value());
        } else if (!step.send) {
            ADD_FAILURE() << "nothing sent";
        } else {
            EXPECT_EQ(step.send->bytes, c.sent);
            EXPECT_EQ(step.send->address, kDevice);
            EXPECT_EQ(step.send->port, 69); // DATA too, whatever port the ACK came from
            // Opcode 2 is the write request, 3 a DATA block.
            EXPECT_EQ(step.send->kind,
                      c.sent[1] == 0x02 ? SendKind::TftpWriteRequest : SendKind::TftpData);
        }
        EXPECT_EQ(step.progress, c.progress);
        EXPECT_EQ(step.outcome, c.outcome);
        EXPECT_EQ(rig.transfer.bytes_sent(), c.bytes_sent);
        EXPECT_EQ(step.data_timer, c.data_timer);
        EXPECT_EQ(step.request_timer, c.request_timer);
        if (c.refusal) {
            ASSERT_TRUE(step.refusal);
            EXPECT_EQ(step.refusal->text, *c.refusal);
            EXPECT_EQ(step.refusal->caption, "Error");
            EXPECT_EQ(step.refusal->icon, MessageIcon::Error);
        } else {
            EXPECT_FALSE(step.refusal);
        }
        EXPECT_EQ(step.device_error, c.device_error);
        EXPECT_EQ(step.reboot_hint, c.reboot_hint);
        // Only a failed transfer says where it stopped.
        EXPECT_EQ(step.failed_at, 0u);
        EXPECT_EQ(step.file_size, 0u);
        EXPECT_EQ(step.close_socket, c.close_socket);
        EXPECT_EQ(step.finish_after_ms, c.finish_after_ms);
    }
}

TEST(TftpTransfer, SendsNameWhatAFailedSendWas) {
    Rig rig;
    const TftpStep request = rig.Apply(kStart);
    ASSERT_TRUE(request.send);
    EXPECT_EQ(request.send->kind, SendKind::TftpWriteRequest);
    rig.Apply(kRequestTick);
    const TftpStep resent_request = rig.Apply(kRequestTick);
    ASSERT_TRUE(resent_request.send);
    EXPECT_EQ(resent_request.send->kind, SendKind::TftpWriteRequest);
    const TftpStep data = rig.Apply(kAck0);
    ASSERT_TRUE(data.send);
    EXPECT_EQ(data.send->kind, SendKind::TftpData);
    rig.Apply(kDataTick);
    const TftpStep resent_data = rig.Apply(kDataTick);
    ASSERT_TRUE(resent_data.send);
    EXPECT_EQ(resent_data.send->kind, SendKind::TftpData);
}

TEST(TftpTransfer, DeviceErrorCarriesItsMessageAndNothingElse) {
    Rig rig;
    rig.Apply(kStart);
    const TftpStep step = rig.Apply(In({0x00, 0x05, 0x00, 0x01, 'n', 'o', 0x00}));
    EXPECT_EQ(step.outcome, Outcome::DeviceError);
    EXPECT_EQ(step.device_error, "no");
    EXPECT_TRUE(step.reboot_hint);
    EXPECT_FALSE(step.send);
    EXPECT_FALSE(step.progress);
    EXPECT_FALSE(step.refusal);
    EXPECT_EQ(step.finish_after_ms, 0);
}

TEST(TftpTransfer, DeviceErrorTextIsCutTo99CharactersWithItsMark) {
    EXPECT_EQ(DeviceErrorText(""), "");
    EXPECT_EQ(DeviceErrorText(std::string(99, 'a')), std::string(99, 'a'));
    EXPECT_EQ(DeviceErrorText(std::string(100, 'a')), std::string(96, 'a') + "...");
    EXPECT_EQ(DeviceErrorText(std::string(98, 'a') + "bc"), std::string(96, 'a') + "...");
}

// Ticks of timer 2 at 1.5 s each; returns the write requests sent per tick.
TEST(TftpTransfer, DeviceNotFoundAfterFiveWriteRequestRetransmissions) {
    Rig rig;
    ASSERT_TRUE(rig.Apply(kStart).send); // 0 s
    std::vector<int> sent_at_tick;
    TftpStep last;
    for (int tick = 1; tick <= 6; ++tick) {
        last = rig.Apply(kRequestTick);
        if (last.send) {
            EXPECT_EQ(last.send->bytes, kWriteRequest);
            sent_at_tick.push_back(tick);
        }
    }
    // Arming at 1.5 s, resends at 3, 4.5, 6, 7.5 and 9 s, the last with the verdict.
    EXPECT_EQ(sent_at_tick, (std::vector<int>{2, 3, 4, 5, 6}));
    EXPECT_EQ(last.outcome, Outcome::DeviceNotFound);
    EXPECT_EQ(last.request_timer, TimerAction::Stop);
    EXPECT_TRUE(last.close_socket);
    // Nothing about a device error or bytes: it never answered.
    EXPECT_EQ(last.device_error, "");
    EXPECT_EQ(last.failed_at, 0u);
    EXPECT_EQ(last.file_size, 0u);
    EXPECT_FALSE(last.progress);
    EXPECT_EQ(rig.transfer.state(), State::Idle);
    EXPECT_EQ(rig.transfer.request_retries(), 0);
    EXPECT_EQ(rig.Apply(kRequestTick).send, std::nullopt);

    // The tick flag stays set: the next attempt resends on its first tick.
    ASSERT_TRUE(rig.Apply(kStart).send);
    EXPECT_TRUE(rig.Apply(kRequestTick).send);
}

TEST(TftpTransfer, AckZeroEndsTheWriteRequestRetries) {
    Rig rig;
    rig.ApplyAll({kStart, kRequestTick, kRequestTick, kRequestTick});
    EXPECT_EQ(rig.transfer.request_retries(), 2);
    rig.Apply(kAck0);
    EXPECT_EQ(rig.transfer.request_retries(), 0);
    // A later attempt arms on its first tick again.
    rig.transfer.Cancel();
    rig.Apply(kStart);
    EXPECT_FALSE(rig.Apply(kRequestTick).send);
    EXPECT_TRUE(rig.Apply(kRequestTick).send);
}

TEST(TftpTransfer, TransferFailsAfterTenDataRetransmissions) {
    Rig rig;
    rig.ApplyAll({kStart, kAck0}); // block 1 at 0 s, timer 1 started
    const Bytes block1 = Data({0x00, 0x03, 0x00, 0x01}, 1000, 0, 512);
    std::vector<int> resent_at_tick;
    TftpStep step;
    int tick = 0;
    while (step.outcome == Outcome::None && tick < 100) {
        step = rig.Apply(kDataTick);
        ++tick;
        if (step.send) {
            EXPECT_EQ(step.send->bytes, block1);
            resent_at_tick.push_back(tick);
        }
        if (step.outcome == Outcome::None) {
            EXPECT_EQ(rig.transfer.bytes_sent(), 512u); // counted once
        }
    }
    EXPECT_EQ(resent_at_tick, (std::vector<int>{2, 4, 6, 8, 10, 12, 14, 16, 18, 20}));
    EXPECT_EQ(tick, 22); // 33 s after the first send
    EXPECT_EQ(step.outcome, Outcome::TransferFailed);
    EXPECT_EQ(step.failed_at, 512u);
    EXPECT_EQ(step.file_size, 1000u);
    EXPECT_EQ(step.device_error, "");
    EXPECT_FALSE(step.progress);
    EXPECT_EQ(step.data_timer, TimerAction::Stop);
    EXPECT_TRUE(step.close_socket);
    EXPECT_FALSE(step.send);
    EXPECT_EQ(rig.transfer.state(), State::Idle);
    EXPECT_EQ(rig.transfer.bytes_sent(), 0u);
    EXPECT_EQ(rig.transfer.current_block(), 0);
    EXPECT_EQ(rig.transfer.last_block(), std::nullopt);

    // Start may be pressed again: the transfer runs from the write request.
    EXPECT_EQ(rig.Apply(kStart).send->bytes, kWriteRequest);
    EXPECT_EQ(rig.Apply(kAck0).send->bytes, block1);
}

TEST(TftpTransfer, OnlyTheAckOfTheBlockInFlightRestartsTheRetryCount) {
    Rig rig;
    rig.image_size = 1024;
    rig.ApplyAll({kStart, kAck0, kAck1, kDataTick, kDataTick, kDataTick, kDataTick});
    EXPECT_EQ(rig.transfer.data_retries(), 2);
    // Stale, future and repeated write-request ACKs are no progress.
    for (const Event& e : {kAck0, kAck1, kAck3}) {
        const TftpStep step = rig.Apply(e);
        EXPECT_FALSE(step.send);
        EXPECT_EQ(step.data_timer, TimerAction::Keep);
        EXPECT_EQ(rig.transfer.data_retries(), 2);
    }
    // The resent block 2 still counts once when its ACK moves on.
    const TftpStep step = rig.Apply(kAck2);
    EXPECT_EQ(step.progress, Progress(1024, 1024, 1024, 3, true));
    EXPECT_EQ(rig.transfer.bytes_sent(), 1024u);
    EXPECT_EQ(rig.transfer.data_retries(), 0);
}

TEST(TftpTransfer, AStaleAckRepeatedForEverDoesNotKeepTheTransferAlive) {
    Rig rig;
    rig.ApplyAll({kStart, kAck0, kAck1}); // block 2 in flight; the device falls silent
    TftpStep step;
    int tick = 0;
    while (step.outcome == Outcome::None && tick < 100) {
        rig.Apply(kAck1); // every 0.75 s, say
        step = rig.Apply(kDataTick);
        ++tick;
    }
    EXPECT_EQ(tick, 22);
    EXPECT_EQ(step.outcome, Outcome::TransferFailed);
    EXPECT_EQ(step.failed_at, 1000u);
}

TEST(TftpTransfer, OnlyTheTargetSpeaksForTheTransfer) {
    struct ForeignCase {
        const char* name;
        std::vector<Event> before;
        Event foreign;
    };
    const Bytes error = {0x00, 0x05, 0x00, 0x01, 'n', 'o', 0x00};
    const std::vector<ForeignCase> cases = {
        {"ACK 0 of the write request", {kStart}, In({0x00, 0x04, 0x00, 0x00}, kStranger)},
        {"ACK of the block in flight", {kStart, kAck0}, In({0x00, 0x04, 0x00, 0x01}, kStranger)},
        {"ACK of the last block", {kStart, kAck0, kAck1}, In({0x00, 0x04, 0x00, 0x02}, kStranger)},
        {"future ACK", {kStart, kAck0}, In({0x00, 0x04, 0x00, 0x05}, kStranger)},
        {"ERROR", {kStart, kAck0}, In(error, kStranger)},
        {"no IPv4 sender", {kStart, kAck0}, In({0x00, 0x04, 0x00, 0x01}, 0)},
    };
    for (const ForeignCase& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.ApplyAll(c.before);
        const State before = rig.transfer.state();
        const uint16_t block = rig.transfer.current_block();
        const TftpStep step = rig.Apply(c.foreign);
        EXPECT_FALSE(step.send);
        EXPECT_FALSE(step.progress);
        EXPECT_EQ(step.outcome, Outcome::None);
        EXPECT_FALSE(step.close_socket);
        EXPECT_EQ(rig.transfer.state(), before);
        EXPECT_EQ(rig.transfer.current_block(), block);
        EXPECT_EQ(rig.transfer.foreign_dropped(), 1u);
    }
    // Silent target, a stranger acknowledging every block in turn: the
    // transfer fails as a silent one does, never completes.
    Rig rig;
    rig.ApplyAll({kStart, kAck0});
    TftpStep step;
    for (uint16_t n = 1; n <= 40 && step.outcome == Outcome::None; ++n) {
        rig.Apply(
            In({0x00, 0x04, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)}, kStranger));
        step = rig.Apply(kDataTick);
    }
    EXPECT_EQ(step.outcome, Outcome::TransferFailed);
    EXPECT_EQ(rig.transfer.foreign_dropped(), 22u);
}

TEST(TftpTransfer, LastBlockRetransmittedThenAcknowledged) {
    Rig rig;
    rig.ApplyAll({kStart, kAck0, kAck1, kDataTick});
    const TftpStep resent = rig.Apply(kDataTick);
    ASSERT_TRUE(resent.send);
    EXPECT_EQ(resent.send->bytes, Data({0x00, 0x03, 0x00, 0x02}, 1000, 512, 488));
    // Its progress went out with the first send.
    EXPECT_EQ(resent.progress, std::nullopt);
    EXPECT_EQ(rig.Apply(kAck2).finish_after_ms, 5000);
}

TEST(TftpTransfer, CancelStopsEverything) {
    Rig rig;
    rig.ApplyAll({kStart, kAck0});
    rig.transfer.Cancel();
    EXPECT_EQ(rig.transfer.state(), State::Idle);
    EXPECT_EQ(rig.transfer.bytes_sent(), 0u);
    EXPECT_FALSE(rig.Apply(kAck1).send);
    EXPECT_FALSE(rig.Apply(kDataTick).send);
    EXPECT_FALSE(rig.Apply(kDataTick).send);
}

// A device that keeps each DATA block it acknowledges.
struct Receiver {
    Bytes image;
    uint16_t expected = 1;
    bool done = false;

    // The ACK for a DATA packet, built from its layout.
    Bytes Take(const Bytes& data) {
        EXPECT_GE(data.size(), 4u);
        EXPECT_EQ(data[0], 0x00);
        EXPECT_EQ(data[1], 0x03);
        const uint16_t block = static_cast<uint16_t>(data[2] << 8 | data[3]);
        EXPECT_EQ(block, expected);
        image.insert(image.end(), data.begin() + 4, data.end());
        done = data.size() < 516;
        ++expected;
        return {0x00, 0x04, data[2], data[3]};
    }
};

void RunWholeTransfer(std::size_t size) {
    SCOPED_TRACE(size);
    Rig rig;
    rig.image_size = size;
    TftpStep step = rig.Apply(kStart);
    ASSERT_TRUE(step.send);
    Receiver device;
    step = rig.Apply(kAck0);
    std::size_t packets = 0;
    while (step.send && !device.done) {
        ASSERT_EQ(step.send->port, 69);
        // Each block's progress: what went out with it and what was acknowledged before.
        const uint32_t before = static_cast<uint32_t>(device.image.size());
        const uint32_t block_size = static_cast<uint32_t>(step.send->bytes.size() - 4);
        EXPECT_EQ(step.progress, Progress(before + block_size, before, static_cast<uint32_t>(size),
                                          device.expected, block_size < 512));
        const Bytes ack = device.Take(step.send->bytes);
        ++packets;
        step = rig.Apply(In(ack));
    }
    ASSERT_TRUE(device.done);
    EXPECT_EQ(step.finish_after_ms, 5000);
    EXPECT_EQ(packets, size / 512 + 1);
    EXPECT_EQ(device.image, Image(size));
    EXPECT_EQ(rig.Apply(kFinishWait).outcome, Outcome::Completed);
}

TEST(TftpTransfer, WholeImagesArriveAsTheyAre) {
    for (const std::size_t size : {0, 1, 511, 512, 513, 1000, 1024, 70000})
        RunWholeTransfer(size);
}

TEST(TftpTransfer, LargestImageEndsWithBlock65535) {
    // 65534 full blocks and 511 bytes: no block number is used twice.
    RunWholeTransfer(65535 * 512 - 1);
}

} // namespace
