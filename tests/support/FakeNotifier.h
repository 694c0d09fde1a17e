#pragma once
// Records every message box instead of showing it, and answers OK/Cancel
// questions from a queue (OK when the queue is empty).

#include "protocol/Notifier.h"

#include <deque>
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

    void Show(const kestrel::Message& m) override {
        shown.push_back({std::string(m.text), std::string(m.caption), m.icon});
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
