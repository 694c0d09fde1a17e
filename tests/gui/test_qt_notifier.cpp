// Message boxes show exactly what they are given, as plain text.
#include "ModalAnswer.h"
#include "app/QtNotifier.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using kestrel::MessageIcon;

namespace {

struct SeenBox {
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::StandardButtons buttons;
};

SeenBox Inspect(QWidget* modal) {
    SeenBox seen;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seen.text = box->text();
        seen.caption = box->windowTitle();
        seen.icon = box->icon();
        seen.format = box->textFormat();
        seen.buttons = box->standardButtons();
    }
    return seen;
}

void Press(QWidget* modal, QMessageBox::StandardButton which) {
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        QTest::mouseClick(box->button(which), Qt::LeftButton);
}

TEST(QtNotifier, ShowsExactTextCaptionAndIconAsPlainText) {
    const struct {
        std::string_view text;
        std::string_view caption;
        MessageIcon icon;
        QMessageBox::Icon shown;
    } cases[] = {
        {"It will cause the application fail\n ", "Error", MessageIcon::Error,
         QMessageBox::Critical},
        {"Set Succesful", "Information", MessageIcon::Information, QMessageBox::Information},
        {"Are you <b>sure</b>?", " Error", MessageIcon::Warning, QMessageBox::Warning},
        {"plain", "Kestrel Utility", MessageIcon::None, QMessageBox::NoIcon},
    };
    QtNotifier notifier;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        SeenBox seen;
        ModalAnswer answer([&](QWidget* modal) {
            seen = Inspect(modal);
            Press(modal, QMessageBox::Ok);
        });
        notifier.Show({c.text, c.caption, c.icon});
        ASSERT_TRUE(answer.answered());
        EXPECT_EQ(seen.text.toStdString(), std::string(c.text));
        EXPECT_EQ(seen.caption.toStdString(), std::string(c.caption));
        EXPECT_EQ(seen.icon, c.shown);
        EXPECT_EQ(seen.format, Qt::PlainText);
        EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
}

TEST(QtNotifier, TextIsEightBitWithEmbeddedNul) {
    QtNotifier notifier;
    SeenBox seen;
    ModalAnswer answer([&](QWidget* modal) {
        seen = Inspect(modal);
        Press(modal, QMessageBox::Ok);
    });
    const char bytes[] = {'a', '\xE9', '\0', 'b'};
    notifier.Show({std::string_view(bytes, sizeof bytes), "Error", MessageIcon::Error});
    ASSERT_TRUE(answer.answered());
    ASSERT_EQ(seen.text.size(), 4);
    EXPECT_EQ(seen.text[1], QChar(0xE9));
    EXPECT_EQ(seen.text[3], QChar(u'b'));
}

TEST(QtNotifier, AskOffersOkAndCancelAndReportsTheAnswer) {
    const struct {
        const char* name;
        std::function<void(QWidget*)> answer;
        bool expected;
    } cases[] = {
        {"OK", [](QWidget* m) { Press(m, QMessageBox::Ok); }, true},
        {"Cancel", [](QWidget* m) { Press(m, QMessageBox::Cancel); }, false},
        {"Escape", [](QWidget* m) { QTest::keyClick(m, Qt::Key_Escape); }, false},
    };
    QtNotifier notifier;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SeenBox seen;
        ModalAnswer answer([&](QWidget* modal) {
            seen = Inspect(modal);
            c.answer(modal);
        });
        const bool result =
            notifier.Ask({"Are you sure to delete this item ?", "Warning", MessageIcon::Warning});
        ASSERT_TRUE(answer.answered());
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(seen.text, QStringLiteral("Are you sure to delete this item ?"));
        EXPECT_EQ(seen.caption, QStringLiteral("Warning"));
        EXPECT_EQ(seen.icon, QMessageBox::Warning);
        EXPECT_EQ(seen.format, Qt::PlainText);
        EXPECT_EQ(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    }
}

} // namespace
