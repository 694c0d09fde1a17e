#pragma once
// Message boxes raised by network events (an agent's error status, a full
// table, a failed log write). A modal box runs a nested event loop; shown from
// inside a socket's read handler it would keep that handler from returning,
// and anyone who knows the utility identifier could open box after box. So
// these boxes are queued and shown from the event loop once the handler has
// returned, one at a time, and a box that is already open or waiting is not
// opened a second time: its repeats are counted and said once it closes.

#include "protocol/seams/Notifier.h"

#include <QObject>

#include <deque>
#include <string>

namespace kestrel {

class PostedNotifier : public QObject, public Notifier {
    Q_OBJECT
public:
    // Boxes are finally shown through `shown_by`, which must outlive this.
    explicit PostedNotifier(Notifier& shown_by, QObject* parent = nullptr);

    void Show(const Message& message) override;
    // A question needs its answer now: asked at once.
    bool Ask(const Message& question) override;

    // Boxes waiting to be shown (not counting one that is open).
    std::size_t waiting() const { return queue_.size(); }

    // The words added to a box that came again while it was open or waiting.
    static std::string RepeatNote(const std::string& text, int repeats);

private:
    struct Box {
        std::string text;
        std::string caption;
        MessageIcon icon = MessageIcon::None;
        int repeats = 0;
        bool Same(const Message& m) const {
            return text == m.text && caption == m.caption && icon == m.icon;
        }
    };

    void Post();
    void ShowNext();

    Notifier& shown_by_;
    std::deque<Box> queue_;
    Box open_;
    bool showing_ = false;
    bool posted_ = false;
};

} // namespace kestrel
