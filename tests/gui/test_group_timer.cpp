// The Group Interval dialog through its real widgets, offscreen: the period
// it shows, the re-join before the checks, the checks with their messages,
// define.ecf rewritten with the text as typed, the switch and period in
// memory, and Cancel changing nothing.

#include "HeldRejoinSender.h"
#include "config/ui/GroupTimer.h"
#include "support/FakeNotifier.h"
#include "unit/EcfFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace kestrel;
using namespace ecf_fixture;

namespace {

const ShownMessage kDigits{"Group Interval only includes 0-9", "Error", MessageIcon::Error};
const ShownMessage kRange{"Value of Group Interval must between 120~1225\n ", "Error",
                          MessageIcon::Error};

std::string Timers(char flag, std::string_view timer) {
    return Body("4B455354", "1392", "239.255.255.250", flag, timer);
}

class GroupTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(file, StoredFile(Timers('1', "300")));
        settings.multicast_timer_flag = 1;
        settings.multicast_timer = 300;
    }
    void Open() {
        dialog = std::make_unique<CGroupTimer>(settings, sender, notifier, file);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }
    QLineEdit& Box() { return *dialog->findChild<QLineEdit*>(QStringLiteral("ctl1136")); }
    QPushButton& Button(const char* name) {
        return *dialog->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    void Type(const char* text) {
        Box().selectAll();
        QTest::keyClick(&Box(), Qt::Key_Backspace);
        QTest::keyClicks(&Box(), QString::fromLatin1(text));
    }
    void ExpectUnchanged() {
        EXPECT_EQ(ReadBytes(file), StoredFile(Timers('1', "300")));
        EXPECT_EQ(settings.multicast_timer_flag, 1);
        EXPECT_EQ(settings.multicast_timer, 300);
    }

    TempDir dir;
    std::filesystem::path file = dir / "define.ecf";
    ProtocolSettings settings;
    DeviceTables tables; // for the recording sender only
    std::vector<std::string> log;
    HeldRejoinSender sender{tables, log};
    FakeNotifier notifier;
    std::unique_ptr<CGroupTimer> dialog;
};

TEST_F(GroupTimerTest, ShowsTheCurrentPeriodAndItsForm) {
    for (const int flag : {1, 0}) {
        SCOPED_TRACE(flag);
        settings.multicast_timer_flag = flag; // shown also while switched off
        Open();
        EXPECT_EQ(dialog->windowTitle().toStdString(), "Group Interval");
        EXPECT_EQ(Box().text().toStdString(), "300");
        EXPECT_EQ(Box().maxLength(), 4);
        EXPECT_EQ(Box().accessibleName().toStdString(), "Group Interval");
        EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("rangeLabel"))->text().toStdString(),
                  "Disable : 0\nEnable  : 120-1225 ");
        EXPECT_EQ(Button("ctl1").text().toStdString(), "OK");
        EXPECT_TRUE(Button("ctl1").isDefault());
        EXPECT_EQ(Button("ctl2").text().toStdString(), "Cancel");
    }
}

TEST_F(GroupTimerTest, AcceptedTextsAreStoredAsTypedAndApplied) {
    const struct {
        const char* typed;
        const char* stored;
        char flag;
        int period;
    } cases[] = {
        {"0", "0", '0', 0},          {"", "0", '0', 0},          {"120", "120", '1', 120},
        {"1225", "1225", '1', 1225}, {"0120", "0120", '1', 120}, {"0000", "0000", '0', 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        SetUp();
        log.clear();
        Open();
        Type(c.typed);
        QTest::mouseClick(&Button("ctl1"), Qt::LeftButton);
        EXPECT_TRUE(notifier.shown.empty());
        EXPECT_EQ(log, std::vector<std::string>{"rejoin"});
        EXPECT_EQ(ReadBytes(file), StoredFile(Timers(c.flag, c.stored)));
        EXPECT_EQ(settings.multicast_timer_flag, c.flag == '1' ? 1 : 0);
        EXPECT_EQ(settings.multicast_timer, c.period);
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_FALSE(dialog->isVisible());
    }
}

TEST_F(GroupTimerTest, RefusedTextsShowTheirMessageAndKeepTheInput) {
    const struct {
        const char* typed;
        ShownMessage message;
    } cases[] = {
        {"119", kRange},  {"1226", kRange}, {"9999", kRange},  {"1", kRange},
        {"12a", kDigits}, {"-5", kDigits},  {" 120", kDigits}, {"12.5", kDigits},
    };
    Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        notifier.shown.clear();
        Type(c.typed);
        QTest::mouseClick(&Button("ctl1"), Qt::LeftButton);
        EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{c.message});
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(Box().text().toStdString(), c.typed);
        ExpectUnchanged();
    }
    // The membership is renewed before the checks, also when they fail.
    EXPECT_EQ(sender.rejoins, static_cast<int>(std::size(cases)));
}

TEST_F(GroupTimerTest, ChecksWaitForTheRejoinAndOkIsOffMeanwhile) {
    sender.hold = true;
    Open();
    Type("600");
    QTest::mouseClick(&Button("ctl1"), Qt::LeftButton);
    EXPECT_EQ(sender.rejoins, 1);
    EXPECT_FALSE(Button("ctl1").isEnabled());
    ExpectUnchanged();
    sender.Finish();
    EXPECT_EQ(ReadBytes(file), StoredFile(Timers('1', "600")));
    EXPECT_EQ(settings.multicast_timer, 600);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(GroupTimerTest, CancelChangesNothing) {
    // By the button, by Esc, and while a re-join of OK is still under way.
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        sender.hold = way == 2;
        Open();
        Type("600");
        if (way == 2)
            QTest::mouseClick(&Button("ctl1"), Qt::LeftButton);
        if (way == 1)
            QTest::keyClick(&Box(), Qt::Key_Escape);
        else
            QTest::mouseClick(&Button("ctl2"), Qt::LeftButton);
        sender.Finish();
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_TRUE(notifier.shown.empty());
        ExpectUnchanged();
    }
}

TEST_F(GroupTimerTest, EnterPressesOk) {
    Open();
    Type("240");
    QTest::keyClick(&Box(), Qt::Key_Return);
    EXPECT_EQ(settings.multicast_timer, 240);
    EXPECT_EQ(ReadBytes(file), StoredFile(Timers('1', "240")));
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(GroupTimerTest, FailedRewriteIsReportedAndMemoryChangesAllTheSame) {
    std::filesystem::remove(file);
    Open();
    Type("0");
    QTest::mouseClick(&Button("ctl1"), Qt::LeftButton);
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"open file fail"});
    EXPECT_EQ(settings.multicast_timer_flag, 0);
    EXPECT_EQ(settings.multicast_timer, 0);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(std::filesystem::exists(file));
}

} // namespace
