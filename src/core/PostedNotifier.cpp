#include "PostedNotifier.h"

#include <QMetaObject>

namespace kestrel {

PostedNotifier::PostedNotifier(Notifier& shown_by, QObject* parent)
    : QObject(parent), shown_by_(shown_by) {}

std::string PostedNotifier::RepeatNote(const std::string& text, int repeats) {
    return text + "\n\n(This message came " + std::to_string(repeats) +
           (repeats == 1 ? " more time.)" : " more times.)");
}

void PostedNotifier::Show(const Message& message) {
    if (showing_ && open_.Same(message)) {
        ++open_.repeats;
        return;
    }
    for (Box& waiting : queue_) {
        if (waiting.Same(message)) {
            ++waiting.repeats;
            return;
        }
    }
    queue_.push_back({std::string(message.text), std::string(message.caption), message.icon, 0});
    Post();
}

bool PostedNotifier::Ask(const Message& question) {
    return shown_by_.Ask(question);
}

void PostedNotifier::Post() {
    if (posted_ || showing_ || queue_.empty())
        return;
    posted_ = true;
    QMetaObject::invokeMethod(this, &PostedNotifier::ShowNext, Qt::QueuedConnection);
}

void PostedNotifier::ShowNext() {
    posted_ = false;
    if (showing_ || queue_.empty())
        return;
    open_ = std::move(queue_.front());
    queue_.pop_front();
    showing_ = true;
    // Repeats merged while the box was waiting are said in the box itself.
    const std::string text = open_.repeats > 0 ? RepeatNote(open_.text, open_.repeats) : open_.text;
    open_.repeats = 0;
    shown_by_.Show({text, open_.caption, open_.icon});
    showing_ = false;
    // Those that came while it was open are said once, in a box after it.
    if (open_.repeats > 0)
        queue_.push_front(open_);
    Post();
}

} // namespace kestrel
