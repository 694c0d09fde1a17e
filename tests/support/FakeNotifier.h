#pragma once
// Records every message box instead of showing it, and answers OK/Cancel
// questions from a queue (OK when the queue is empty).

#include "protocol/seams/Notifier.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

struct ShownMessage {
    std::string text;
    std::string caption;
    kestrel::MessageIcon icon;
    bool operator==(const ShownMessage&) const = default;
};

class FakeNotifier : public kestrel::Notifier {
public:
    std::vector<ShownMessage> shown;
    std::deque<bool> answers;
    // Runs while a box is "open", as the event loop of a real modal box
    // would; empty for a box that closes at once.
    std::function<void()> while_showing;

    void Show(const kestrel::Message& m) override {
        shown.push_back({std::string(m.text), std::string(m.caption), m.icon});
        if (while_showing)
            while_showing();
    }
    bool Ask(const kestrel::Message& m) override {
        shown.push_back({std::string(m.text), std::string(m.caption), m.icon});
        if (answers.empty())
            return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const ShownMessage& m : shown)
            texts.push_back(m.text);
        return texts;
    }
};
