// Boxes raised by network events: shown after the handler that raised them
// has returned, one at a time, with repeats merged instead of stacked.

#include "core/PostedNotifier.h"

#include "support/FakeNotifier.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <gtest/gtest.h>

using namespace kestrel;

namespace {

const Message kStatus{"Device return : password error", "Error", MessageIcon::Error};
const Message kFull{"Add fail, out of 256 devices", "Error", MessageIcon::Error};

ShownMessage Shown(const Message& m, int repeats = 0) {
    std::string text(m.text);
    if (repeats > 0)
        text = PostedNotifier::RepeatNote(text, repeats);
    return {text, std::string(m.caption), m.icon};
}

void RunPosted() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

TEST(PostedNotifier, ShowsOnlyOnceTheCallerHasReturned) {
    FakeNotifier boxes;
    PostedNotifier posted(boxes);
    posted.Show(kStatus);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(posted.waiting(), 1u);
    RunPosted();
    EXPECT_EQ(boxes.shown, std::vector<ShownMessage>{Shown(kStatus)});
    EXPECT_EQ(posted.waiting(), 0u);
}

TEST(PostedNotifier, RepeatsAreMergedWhileWaitingAndWhileOpen) {
    FakeNotifier boxes;
    PostedNotifier posted(boxes);
    for (int i = 0; i < 5000; ++i)
        posted.Show(kStatus);
    posted.Show(kFull);
    EXPECT_EQ(posted.waiting(), 2u);

    // While the first box is open, its event loop lets more of the same in,
    // and one of another kind.
    int opened = 0;
    boxes.while_showing = [&] {
        if (++opened > 1)
            return;
        for (int i = 0; i < 3; ++i)
            posted.Show(kStatus);
        posted.Show(kFull);
        QEventLoop nested;
        nested.processEvents(); // a real box's loop: nothing else may open
        EXPECT_EQ(boxes.shown.size(), 1u);
    };
    for (int i = 0; i < 5; ++i)
        RunPosted();
    // The first box says the 4999 repeats; those that came while it was open
    // follow in one box; the other kind comes once, with its repeat.
    EXPECT_EQ(boxes.shown, (std::vector<ShownMessage>{Shown(kStatus, 4999), Shown(kStatus, 3),
                                                      Shown(kFull, 1)}));
    EXPECT_EQ(posted.waiting(), 0u);
}

TEST(PostedNotifier, QuestionsAreAskedAtOnce) {
    FakeNotifier boxes;
    boxes.answers = {false};
    PostedNotifier posted(boxes);
    const Message question{"Are you sure to delete this item ?", "Warning", MessageIcon::Warning};
    EXPECT_FALSE(posted.Ask(question));
    EXPECT_EQ(boxes.shown, std::vector<ShownMessage>{Shown(question)});
}

} // namespace
