#pragma once
// A recording sender that holds the continuation of the re-join until the
// test lets it run, as the real timed re-join does.

#include "unit/RecordingSender.h"

#include <functional>
#include <utility>
#include <vector>

class HeldRejoinSender : public RecordingSender {
public:
    using RecordingSender::RecordingSender;
    bool hold = false;
    std::vector<std::function<void()>> held;

    void RejoinMulticastGroup(std::function<void()> then) override {
        if (!hold) {
            RecordingSender::RejoinMulticastGroup(std::move(then));
            return;
        }
        ++rejoins;
        held.push_back(std::move(then));
    }
    void Finish() {
        auto waiting = std::move(held);
        held.clear();
        for (auto& then : waiting)
            then();
    }
};
