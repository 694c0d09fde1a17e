// The firmware upgrade without an agent: the run from Start to the transfer
// (re-join, checks, the trigger and where it goes, the two-second wait), the
// Firmware Upgrade dialog through its real widgets, the main window's
// "Firmware upgrade" button with its checks before the dialog opens, and
// what the dialog in the window shows for each end of an upgrade.

#include "HeldRejoinSender.h"
#include "WindowFixture.h"
#include "app/OutcomeBoxes.h"
#include "controls/ColourScheme.h"
#include "controls/DialogUnits.h"
#include "core/CoreEvents.h"
#include "monitor/EventLog.h"
#include "protocol/upgrade/UpgradeMessages.h"
#include "protocol/wire/Ipv4Text.h"
#include "support/AgentRecords.h"
#include "support/CoreState.h"
#include "support/FakeNotifier.h"
#include "support/SetRequestBytes.h"
#include "upgrade/UpgradeRun.h"
#include "upgrade/ui/Firmware_Upgrade.h"

#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

using namespace kestrel;
using test_agents::Agent;
using test_agents::Ip;

namespace {

std::string S(const QString& text) {
    return text.toStdString();
}

// A firmware file of the given size in a folder of its own.
class FirmwareFiles {
public:
    std::string Make(const char* name, qint64 size) {
        const QString path = dir_.filePath(QString::fromLatin1(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_TRUE(file.resize(size));
        return S(path);
    }

private:
    QTemporaryDir dir_;
};

// The agent to upgrade is record 1 of its list; record 0 of both lists is
// another agent, and the monitor list has the target's twin in the other
// list's case, so a send to the wrong list would show.
class UpgradeRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.settings.utility_id = 0x4B455354;
        state.settings.base_port = 5010;
        state.settings.multicast_group = "239.255.255.250";
        for (DeviceTable* table : {&state.tables.discovery, &state.tables.monitor}) {
            ASSERT_TRUE(table->Append(Agent("020000000004", "192.168.1.4")));
            ASSERT_TRUE(table->Append(Agent("0a1b2c3d4e5f", "192.168.1.5")));
        }
        state.exchange.sequence = 0x0102;
        image = files.Make("fw.hex", 1000);
        // What the run says, in order.
        QObject::connect(&run, &UpgradeRun::TransferStarted,
                         [this] { said.push_back("transfer started"); });
        QObject::connect(&run, &UpgradeRun::SendFailed, [this](const SendFailure& f) {
            failures.push_back(f);
            said.push_back("send failed");
        });
        QObject::connect(&run, &UpgradeRun::Ended, [this](const UpgradeEnd& e) {
            ends.push_back(e);
            said.push_back("ended");
        });
        // The window's boxes for it, as the window connects them.
        boxes.Listen(events);
        boxes.Listen(run, event_log);
    }
    void Choose(bool in_monitor) {
        run.SetTarget(state.tables, {in_monitor ? AgentList::Monitor : AgentList::Discovery, 1});
    }
    // The target takes the trigger, as the receive path reports it.
    void Acknowledge() { events.OnTriggerAcknowledged("0a1b2c3d4e5f"); }
    void Forget() {
        said.clear();
        ends.clear();
        failures.clear();
    }

    CoreState state;
    std::vector<std::string> log;
    HeldRejoinSender sender{state.tables, log};
    FakeNotifier notifier;
    CoreEvents events;
    UpgradeRun run{state.settings, state.exchange, sender, events};
    SystemClock system_clock;
    EventLog event_log{{}, system_clock, notifier}; // switched off: no file here
    OutcomeBoxes boxes{notifier, notifier};
    FirmwareFiles files;
    std::string image;
    std::vector<std::string> said;
    std::vector<UpgradeEnd> ends;
    std::vector<SendFailure> failures;
};

const std::vector<uint8_t> kTrigger =
    set_bytes::Cat({set_bytes::Header(10, false, 0x0102), {0x00, 0x09, 0x00, 0x06, 'p', 'w'}});

TEST_F(UpgradeRunTest, TriggerGoesWhereASetRequestGoesButCountsNoPoll) {
    struct Case {
        bool in_monitor;
        std::vector<std::pair<SocketKind, const char*>> sends;
    } cases[] = {
        {false,
         {{SocketKind::Broadcast, "255.255.255.255"}, {SocketKind::Multicast, "239.255.255.250"}}},
        {true, {{SocketKind::Unicast, "192.168.1.5"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in_monitor ? "monitor list" : "discovery list");
        sender.sent.clear();
        log.clear();
        Forget();
        for (DeviceRecord& r : state.tables.monitor.InUse()) {
            r.reply_flag = 1;
            r.missed_polls = 2;
        }
        Choose(c.in_monitor);
        EXPECT_EQ(FieldText(run.target().mac_text), "0a1b2c3d4e5f");

        run.Start("pw", image);
        ASSERT_EQ(sender.sent.size(), c.sends.size());
        EXPECT_EQ(log.front(), "rejoin");
        for (std::size_t i = 0; i < c.sends.size(); ++i) {
            EXPECT_EQ(sender.sent[i].from, c.sends[i].first);
            EXPECT_EQ(sender.sent[i].address, Ip(c.sends[i].second));
            EXPECT_EQ(sender.sent[i].port, 5012);
            EXPECT_EQ(sender.sent[i].bytes, kTrigger);
        }
        for (const DeviceRecord& r : state.tables.monitor.InUse()) {
            EXPECT_EQ(r.reply_flag, 1) << "no poll accounting";
            EXPECT_EQ(r.missed_polls, 2);
        }
        EXPECT_EQ(state.exchange.sequence, 0x0102) << "the reply advances it, not the request";
        EXPECT_EQ(run.firmwarePath(), image);
        EXPECT_TRUE(run.busy());
        EXPECT_TRUE(said.empty());

        // Nobody acknowledged within the wait.
        run.OnTriggerWaitEnded();
        EXPECT_EQ(said, std::vector<std::string>{"ended"});
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(ends[0].kind, UpgradeEndKind::TriggerNotAnswered);
        EXPECT_EQ(UpgradeStateText(ends[0]), "Trigger fail");
        EXPECT_FALSE(run.busy());
        EXPECT_FALSE(run.transfer().IsOpen());
        EXPECT_TRUE(notifier.shown.empty());
    }
}

TEST_F(UpgradeRunTest, TheWaitIsATimerOfTwoSecondsThatTheWindowRunsThrough) {
    Choose(false);
    QElapsedTimer clock;
    clock.start();
    run.Start("pw", image);
    // The receive path reports the agent's reply that arrives meanwhile.
    QTimer::singleShot(300, [this] { Acknowledge(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !said.empty(); }, 5000));
    EXPECT_GE(clock.elapsed(), 1990);
    EXPECT_EQ(said, std::vector<std::string>{"transfer started"});
    EXPECT_TRUE(run.transfer().IsOpen());
    EXPECT_TRUE(run.busy());

    run.Start("pw", image);
    EXPECT_EQ(sender.rejoins, 1) << "no second start while a transfer runs";

    run.Cancel();
    EXPECT_FALSE(run.transfer().IsOpen());
    EXPECT_FALSE(run.busy());

    // The acknowledgement was used up once the transfer began.
    run.Start("pw", image);
    run.OnTriggerWaitEnded();
    EXPECT_EQ(said, (std::vector<std::string>{"transfer started", "ended"}));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].kind, UpgradeEndKind::TriggerNotAnswered);
    EXPECT_FALSE(run.transfer().IsOpen());
}

TEST_F(UpgradeRunTest, RefusalsComeAfterTheRejoinAndSendNothing) {
    Choose(false);
    const std::string too_large = files.Make("big.hex", 65535LL * 512);
    const struct {
        std::string password;
        std::string path;
        const char* text;
    } cases[] = {
        {"", image, "Password lengths between 1-20"},
        {std::string(21, 'x'), image, "Password lengths between 1-20"},
        {"pw", image + ".missing", "Firmware file not found"},
        {"pw", too_large,
         "Firmware file too large: at most 65535 blocks of 512 bytes (33553919 bytes)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        notifier.shown.clear();
        Forget();
        run.Start(c.password, c.path);
        ASSERT_EQ(notifier.shown.size(), 1u);
        EXPECT_EQ(notifier.shown[0], (ShownMessage{c.text, "Error", MessageIcon::Error}));
        EXPECT_EQ(said, std::vector<std::string>{"ended"});
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(ends[0].kind, UpgradeEndKind::Refused);
        ASSERT_TRUE(ends[0].reason.has_value());
        EXPECT_EQ(std::string(ends[0].reason->text), c.text);
        EXPECT_EQ(UpgradeStateText(ends[0]), std::nullopt) << "Upgrade State keeps its text";
        EXPECT_TRUE(sender.sent.empty());
        EXPECT_FALSE(run.busy());
    }
    EXPECT_EQ(sender.rejoins, 4);
}

TEST_F(UpgradeRunTest, AFailedSendEndsTheStart) {
    const struct {
        bool in_monitor;
        SocketKind failing;
        std::size_t attempts;
    } cases[] = {
        {false, SocketKind::Broadcast, 1},
        {false, SocketKind::Multicast, 2},
        {true, SocketKind::Unicast, 1},
    };
    for (const auto& c : cases) {
        sender.sent.clear();
        notifier.shown.clear();
        Forget();
        sender.failing = {c.failing};
        Choose(c.in_monitor);
        run.Start("pw", image);
        EXPECT_EQ(sender.sent.size(), c.attempts);
        EXPECT_EQ(notifier.shown, std::vector<ShownMessage>({{"Upgrade trigger send error", "Error",
                                                              MessageIcon::Error}}));
        // The failed send first, then the end of the start, which says no more.
        EXPECT_EQ(said, (std::vector<std::string>{"send failed", "ended"}));
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].kind, SendKind::UpgradeTrigger);
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(ends[0].kind, UpgradeEndKind::LocalFailure);
        EXPECT_FALSE(ends[0].reason.has_value());
        EXPECT_FALSE(run.busy());
    }
}

TEST_F(UpgradeRunTest, ALateAcknowledgementCarriesOverToTheNextStart) {
    Choose(true);
    // The port is taken: the open fails and the flag stays for next time.
    QUdpSocket squatter;
    ASSERT_TRUE(squatter.bind(QHostAddress(QHostAddress::AnyIPv4), 64517));
    Acknowledge(); // before the start: late, from an earlier one
    run.Start("pw", image);
    run.OnTriggerWaitEnded();
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>(
                                  {{"Bind tftps socket error", "Error", MessageIcon::Error}}));
    EXPECT_EQ(said, std::vector<std::string>{"ended"});
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].kind, UpgradeEndKind::LocalFailure);
    EXPECT_TRUE(ends[0].triggered);
    EXPECT_EQ(UpgradeStateText(ends[0]), "Wait....");
    EXPECT_FALSE(run.busy());

    // The acknowledgement stays for the next start...
    squatter.close();
    run.Start("pw", image);
    run.OnTriggerWaitEnded();
    EXPECT_TRUE(run.transfer().IsOpen());

    // ...and is used up by the transfer that began.
    run.Cancel();
    Forget();
    run.Start("pw", image);
    run.OnTriggerWaitEnded();
    EXPECT_FALSE(run.transfer().IsOpen());
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].kind, UpgradeEndKind::TriggerNotAnswered);
}

TEST_F(UpgradeRunTest, CancelDuringTheRejoinOrTheWaitEndsTheStart) {
    Choose(false);
    sender.hold = true;
    run.Start("pw", image);
    run.Cancel();
    sender.Finish();
    EXPECT_TRUE(sender.sent.empty());
    EXPECT_FALSE(run.busy());

    sender.hold = false;
    run.Start("pw", image);
    ASSERT_EQ(sender.sent.size(), 2u);
    run.Cancel();
    Acknowledge();
    run.OnTriggerWaitEnded();
    EXPECT_FALSE(run.transfer().IsOpen());
    EXPECT_TRUE(said.empty());
}

UpgradeEnd EndOf(UpgradeEndKind kind);

class FirmwareDialogTest : public UpgradeRunTest {
protected:
    void Open() {
        Choose(true);
        dialog = new CFirmware_Upgrade(run);
        dialog->chooseFile = [this](QWidget*) { return chosen; };
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.data()));
    }
    void TearDown() override { delete dialog; }

    template <class T> T& Find(const char* name) {
        T* w = dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return *w;
    }
    QLineEdit& Edit(const char* name) { return Find<QLineEdit>(name); }
    void Click(const char* name) { QTest::mouseClick(&Find<QPushButton>(name), Qt::LeftButton); }

    QPointer<CFirmware_Upgrade> dialog;
    QString chosen;
};

TEST_F(FirmwareDialogTest, FormOfLabelsFieldsAndBarsInDialogUnits) {
    Open();
    EXPECT_EQ(S(dialog->windowTitle()), "Firmware Upgrade");
    EXPECT_FALSE(dialog->isModal());
    const DialogUnits du(dialog->font());
    EXPECT_EQ(dialog->size(), du.ToPixels(245, 172));

    const struct {
        const char* label_id;
        const char* label;
        const char* field_id;
        QRect field; // dialog units
        bool read_only;
    } rows[] = {
        {"ctl1115", "      Device IP", "ctl1060", {76, 15, 115, 12}, true},
        {"ctl1116", "     Device Mac", "ctl1061", {76, 36, 115, 12}, true},
        {"ctl1117", "      Firmware Path", "ctl1045", {76, 80, 115, 12}, false},
        {"ctl1118", "      Password", "ctl1070", {76, 102, 115, 12}, false},
        {"ctl1119", "      Upgrade State", "ctl1073", {76, 132, 115, 12}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label_id);
        EXPECT_EQ(S(Find<QLabel>(row.label_id).text()), row.label);
        QLineEdit& field = Edit(row.field_id);
        EXPECT_EQ(field.geometry(),
                  du.ToPixels(row.field.x(), row.field.y(), row.field.width(), row.field.height()));
        EXPECT_EQ(field.isReadOnly(), row.read_only);
        EXPECT_EQ(field.hasFrame(), !row.read_only);
        EXPECT_EQ(S(field.accessibleName()),
                  QString::fromLatin1(row.label).trimmed().toStdString());
    }
    EXPECT_EQ(S(Find<QGroupBox>("ctl1120").title()), "Device Information");
    EXPECT_EQ(S(Find<QGroupBox>("ctl1121").title()), "Upgrade Setting");
    for (auto [id, text] : {std::pair{"ctl1074", "Browse"}, std::pair{"ctl1015", "Start"},
                            std::pair{"ctl2", "Cancel"}})
        EXPECT_EQ(S(Find<QPushButton>(id).text()), text);
    EXPECT_EQ(Find<QPushButton>("ctl1015").geometry(), du.ToPixels(17, 155, 70, 12));
    EXPECT_EQ(Find<QLabel>("ctl1097").geometry(), du.ToPixels(191, 15, 46, 41));

    EXPECT_EQ(S(Edit("ctl1060").text()), "192.168.1.5");
    EXPECT_EQ(S(Edit("ctl1061").text()), "0a1b2c3d4e5f");
    EXPECT_EQ(S(Edit("ctl1045").text()), "");

    QLineEdit& password = Edit("ctl1070");
    EXPECT_EQ(password.echoMode(), QLineEdit::Password);
    QTest::keyClicks(&password, QString(21, QLatin1Char('p')));
    EXPECT_EQ(password.text().size(), 20);
    EXPECT_EQ(Edit("ctl1045").maxLength(), 127);
}

TEST_F(FirmwareDialogTest, LabelGreyBandsWhiteFaceAndGreyReadOnlyFields) {
    Open();
    EXPECT_EQ(dialog->palette().color(QPalette::Window), colours::kWhite);
    EXPECT_TRUE(dialog->autoFillBackground());
    const char* grey[] = {"ctl1094", "ctl1095", "ctl1096", "ctl1097", "ctl1099", "ctl1100",
                          "ctl1101", "ctl1102", "ctl1105", "ctl1106", "ctl1124", "ctl1125",
                          "ctl1115", "ctl1116", "ctl1117", "ctl1118"};
    for (const char* id : grey) {
        QLabel& band = Find<QLabel>(id);
        EXPECT_EQ(band.palette().color(QPalette::Window), colours::kLabelGrey) << id;
        EXPECT_EQ(band.palette().color(QPalette::WindowText), colours::kBlack) << id;
        EXPECT_TRUE(band.autoFillBackground()) << id;
    }
    EXPECT_EQ(Find<QLabel>("ctl1119").palette().color(QPalette::Window), colours::kWhite);
    for (const char* id : {"ctl1120", "ctl1121"})
        EXPECT_EQ(Find<QGroupBox>(id).palette().color(QPalette::WindowText), colours::kBlack);
    for (const char* id : {"ctl1045", "ctl1070"}) {
        EXPECT_EQ(Edit(id).palette().color(QPalette::Base), colours::kWhite) << id;
        EXPECT_EQ(Edit(id).palette().color(QPalette::Text), colours::kBlack) << id;
    }
    const QPalette desktop = QApplication::palette();
    for (const char* id : {"ctl1060", "ctl1061", "ctl1073"})
        EXPECT_EQ(Edit(id).palette().color(QPalette::Base), desktop.color(QPalette::Window)) << id;
}

TEST_F(FirmwareDialogTest, BrowseSetsThePathWhichTheNextOpeningShows) {
    Open();
    chosen = QString::fromStdString(image);
    Click("ctl1074");
    EXPECT_EQ(S(Edit("ctl1045").text()), image);
    EXPECT_EQ(run.firmwarePath(), image);
    dialog->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); })) << "deleted when closed";

    Open();
    EXPECT_EQ(S(Edit("ctl1045").text()), image);
    // A cancelled Browse empties it, and Start then finds no file.
    chosen.clear();
    Click("ctl1074");
    EXPECT_EQ(S(Edit("ctl1045").text()), "");
    QTest::keyClicks(&Edit("ctl1070"), QStringLiteral("pw"));
    Click("ctl1015");
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"Firmware file not found"});
}

// Types the text a character at a time, as a keyboard or an input method
// hands them over: a character beyond 16 bits comes whole.
void Type(QLineEdit& edit, const QString& text) {
    for (const char32_t c : text.toUcs4())
        QTest::sendKeyEvent(QTest::Click, &edit, Qt::Key_unknown, QString::fromUcs4(&c, 1),
                            Qt::NoModifier);
}

// Firmware Path holds 127 bytes of the path as it is sent, whatever the
// characters: typing stops there and a longer choice of Browse is cut
// there, between characters.
TEST_F(FirmwareDialogTest, FirmwarePathHoldsAtMost127BytesOfThePath) {
    const QString e_acute(QChar(0x00E9));                     // 2 bytes
    const QString face = QString::fromUcs4(U"\U0001F600", 1); // 4 bytes, 2 UTF-16 units
    const struct {
        const char* name;
        QString typed;
        qsizetype kept; // UTF-16 units
        qsizetype bytes;
    } cases[] = {
        {"plain", QString(130, QLatin1Char('a')), 127, 127},
        {"two-byte characters", e_acute.repeated(70), 63, 126},
        {"then one byte more", e_acute.repeated(63) + QStringLiteral("ab"), 64, 127},
        {"four-byte characters", face.repeated(40), 62, 124},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        Type(Edit("ctl1045"), c.typed);
        const QString shown = Edit("ctl1045").text();
        EXPECT_EQ(S(shown), S(c.typed.first(c.kept)));
        EXPECT_EQ(QFile::encodeName(shown).size(), c.bytes);
        delete dialog;
    }

    Open();
    chosen = QStringLiteral("/home/op/") + e_acute.repeated(100) + QStringLiteral(".hex");
    Click("ctl1074");
    // "/home/op/" and 59 characters of two bytes.
    EXPECT_EQ(S(Edit("ctl1045").text()), S(chosen.first(9 + 59)));
    EXPECT_EQ(run.firmwarePath(), QFile::encodeName(chosen).first(127).toStdString());
}

TEST_F(FirmwareDialogTest, TheBrowseDialogTakesExistingHexFiles) {
    const auto browse = MakeFirmwareFileDialog(nullptr);
    EXPECT_EQ(browse->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(browse->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(browse->nameFilters(), QStringList{QStringLiteral("hex File (*.hex)")});
    EXPECT_EQ(S(browse->defaultSuffix()), "hex");
}

TEST_F(FirmwareDialogTest, StartIsOffWhileARunIsUnderWayAndTheStateShows) {
    Open();
    sender.hold = true;
    QTest::keyClicks(&Edit("ctl1045"), QString::fromStdString(image));
    QTest::keyClicks(&Edit("ctl1070"), QStringLiteral("pw"));
    Click("ctl1015");
    EXPECT_FALSE(Find<QPushButton>("ctl1015").isEnabled());
    sender.Finish();
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(sender.sent[0].bytes, kTrigger);
    run.OnTriggerWaitEnded();
    EXPECT_EQ(S(Edit("ctl1073").text()), "Trigger fail");
    EXPECT_TRUE(Find<QPushButton>("ctl1015").isEnabled());
}

TEST_F(FirmwareDialogTest, EnterAndEscapeNeitherStartNorClose) {
    Open();
    QTest::keyClicks(&Edit("ctl1070"), QStringLiteral("pw"));
    for (const char* id : {"ctl1045", "ctl1070"}) {
        Edit(id).setFocus();
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(&Edit(id), key);
    }
    for (const char* id : {"ctl1074", "ctl1015", "ctl2"}) {
        Find<QPushButton>(id).setFocus();
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(&Find<QPushButton>(id), key);
    }
    ASSERT_FALSE(dialog.isNull());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(sender.rejoins, 0);
}

TEST_F(FirmwareDialogTest, CancelEndsTheTransferAndTheDialog) {
    Open();
    Acknowledge();
    QTest::keyClicks(&Edit("ctl1045"), QString::fromStdString(image));
    QTest::keyClicks(&Edit("ctl1070"), QStringLiteral("pw"));
    Click("ctl1015");
    run.OnTriggerWaitEnded();
    ASSERT_TRUE(run.transfer().IsOpen());
    EXPECT_EQ(S(Edit("ctl1073").text()), "Wait....");

    Click("ctl2");
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }));
    EXPECT_FALSE(run.transfer().IsOpen());
    EXPECT_FALSE(run.busy());
}

TEST_F(FirmwareDialogTest, TheEndOfTheUpgradeClosesTheDialog) {
    for (const UpgradeEndKind kind : {UpgradeEndKind::Completed, UpgradeEndKind::DeviceError}) {
        Open();
        UpgradeEnd end;
        end.kind = kind;
        Q_EMIT run.Ended(end);
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }));
    }
}

// Upgrade State under a flood of progress: a block comes every few
// microseconds, the text changes at most every kProgressShowMs and ends on
// the latest progress.
TEST_F(FirmwareDialogTest, UpgradeStateChangesAtMostTenTimesASecondAndEndsOnTheLatest) {
    Open();
    Q_EMIT run.TransferStarted();
    QLineEdit& upgrade_state = Edit("ctl1073");
    int changes = 0;
    QObject::connect(&upgrade_state, &QLineEdit::textChanged, [&] { ++changes; });
    QElapsedTimer clock;
    clock.start();
    // 2000 blocks of a file of 1025124 bytes (2002 full blocks and 100 bytes),
    // in bursts with the event loop running between them.
    for (uint16_t block = 2; block < 2002; ++block) {
        Q_EMIT run.Progress({.sent = block * 512u,
                             .acknowledged = (block - 1u) * 512u,
                             .total = 1025124,
                             .block = block});
        if (block % 20 == 0)
            QTest::qWait(5);
    }
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(elapsed, 400);
    EXPECT_GE(changes, 2) << "progress shows while the blocks come";
    EXPECT_LE(changes, elapsed / CFirmware_Upgrade::kProgressShowMs + 2);

    const std::string latest = "Upgrade...1024512/1025124 bytes";
    QElapsedTimer since_last;
    since_last.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return S(upgrade_state.text()) == latest; }, 2000));
    EXPECT_LE(since_last.elapsed(), 4 * CFirmware_Upgrade::kProgressShowMs);
    auto& bar = Find<QProgressBar>("upgradeProgress");
    EXPECT_EQ(bar.maximum(), 1025124);
    EXPECT_EQ(bar.value(), 2000 * 512);
}

// A text that ends something shows at once, even while a progress is held
// back, and no held-back progress overwrites it afterwards; the bar keeps the
// latest bytes acknowledged.
TEST_F(FirmwareDialogTest, EndingTextsShowAtOnceAndStay) {
    UpgradeEnd transfer_failed = EndOf(UpgradeEndKind::TransferFailed);
    transfer_failed.sent = 1536;
    transfer_failed.total = 3000;
    const struct {
        const char* name;
        std::function<void(UpgradeRun&)> end;
        const char* state;
        int bar;
    } cases[] = {
        {"last block",
         [](UpgradeRun& r) {
             Q_EMIT r.Progress(
                 {.sent = 3000, .acknowledged = 2560, .total = 3000, .block = 6, .last = true});
         },
         "Complete...3000/3000 bytes", 2560},
        {"device not found",
         [](UpgradeRun& r) { Q_EMIT r.Ended(EndOf(UpgradeEndKind::DeviceNotFound)); },
         "Device not found", 1024},
        {"transfer failed", [&](UpgradeRun& r) { Q_EMIT r.Ended(transfer_failed); },
         "Upgrade fail, translate 1536/3000 bytes", 1024},
        {"trigger not answered",
         [](UpgradeRun& r) { Q_EMIT r.Ended(EndOf(UpgradeEndKind::TriggerNotAnswered)); },
         "Trigger fail", 1024},
        {"a new transfer", [](UpgradeRun& r) { Q_EMIT r.TransferStarted(); }, "Wait....", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        QLineEdit& upgrade_state = Edit("ctl1073");
        auto& bar = Find<QProgressBar>("upgradeProgress");
        Q_EMIT run.TransferStarted();
        Q_EMIT run.Progress({.sent = 1024, .acknowledged = 512, .total = 3000, .block = 2});
        EXPECT_EQ(S(upgrade_state.text()), "Upgrade...1024/3000 bytes");
        Q_EMIT run.Progress({.sent = 1536, .acknowledged = 1024, .total = 3000, .block = 3});
        EXPECT_EQ(S(upgrade_state.text()), "Upgrade...1024/3000 bytes") << "held back";

        c.end(run);
        EXPECT_EQ(S(upgrade_state.text()), c.state);
        EXPECT_EQ(bar.value(), c.bar);
        QTest::qWait(3 * CFirmware_Upgrade::kProgressShowMs);
        EXPECT_EQ(S(upgrade_state.text()), c.state) << "nothing held back comes after it";
        EXPECT_EQ(bar.value(), c.bar);
        delete dialog;
    }
}

// The bar under Upgrade State: bytes acknowledged of the file's size, in the
// dialog's colours, full once the write has completed.
TEST_F(FirmwareDialogTest, TheProgressBarShowsTheBytesAcknowledged) {
    Open();
    auto& bar = Find<QProgressBar>("upgradeProgress");
    const DialogUnits du(dialog->font());
    EXPECT_EQ(bar.geometry(), du.ToPixels(76, 146, 115, 7));
    EXPECT_FALSE(bar.geometry().intersects(Edit("ctl1073").geometry()));
    EXPECT_FALSE(bar.geometry().intersects(Find<QPushButton>("ctl1015").geometry()));
    EXPECT_TRUE(dialog->rect().contains(bar.geometry()));
    EXPECT_TRUE(bar.isVisible());
    EXPECT_EQ(S(bar.accessibleName()), "Upgrade progress");
    EXPECT_EQ(bar.palette().color(QPalette::Window), colours::kWhite);
    EXPECT_EQ(bar.palette().color(QPalette::Base), colours::kLabelGrey);
    EXPECT_EQ(bar.palette().color(QPalette::Highlight), colours::kPanelBlue);
    EXPECT_EQ(bar.value(), 0);

    Q_EMIT run.TransferStarted();
    Q_EMIT run.Progress({.sent = 512, .acknowledged = 0, .total = 1500, .block = 1});
    EXPECT_EQ(bar.maximum(), 1500);
    EXPECT_EQ(bar.value(), 0);
    Q_EMIT run.Progress({.sent = 1024, .acknowledged = 512, .total = 1500, .block = 2});
    EXPECT_EQ(bar.value(), 512);
    Q_EMIT run.Progress(
        {.sent = 1500, .acknowledged = 1024, .total = 1500, .block = 3, .last = true});
    EXPECT_EQ(bar.value(), 1024) << "the last block is not acknowledged yet";
    UpgradeEnd completed = EndOf(UpgradeEndKind::Completed);
    completed.sent = completed.total = 1500;
    Q_EMIT run.Ended(completed);
    EXPECT_EQ(bar.value(), 1500);
    EXPECT_EQ(S(Edit("ctl1073").text()), "Complete...1500/1500 bytes");
}

// The window's button, its checks and the one dialog it opens.
class UpgradeButtonTest : public ShownWindowFixture {
protected:
    void SetUp() override {
        ShownWindowFixture::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        for (const DeviceRecord& r :
             {Agent("020000000001", "198.18.0.11"),
              Agent("020000000002", "198.18.0.12", AGENT_MODE_LOADER),
              Agent("020000000003", "198.18.0.11"), Agent("020000000004", "10.9.8.7")}) {
            ASSERT_TRUE(window->tables().discovery.Append(r));
            window->lists().RefreshDiscoveryRow(window->tables().discovery.count() - 1);
        }
        ASSERT_TRUE(window->tables().monitor.Append(Agent("020000000009", "198.18.0.12")));
        window->lists().RefreshMonitorRow(0);
    }
    void Select(int row) {
        window->discoveryList().clearSelection();
        window->discoveryList().topLevelItem(row)->setSelected(true);
    }
    void Press() { QTest::mouseClick(Find<QPushButton>("ctl1042"), Qt::LeftButton); }
    QList<CFirmware_Upgrade*> Dialogs() const { return window->findChildren<CFirmware_Upgrade*>(); }
};

TEST_F(UpgradeButtonTest, RefusalsBeforeTheDialogOpens) {
    const struct {
        int row; // -1: nothing selected
        ShownMessage message;
    } cases[] = {
        {-1, {"Please select one device", "Error", MessageIcon::Error}},
        {0, {"Duplicate IP", "Error", MessageIcon::Error}},
        {3,
         {"The device IP and manager IP are not in the same subnet", "Error", MessageIcon::Error}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        notifier.shown.clear();
        if (c.row < 0)
            window->discoveryList().clearSelection();
        else
            Select(c.row);
        Press();
        EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{c.message});
        EXPECT_TRUE(Dialogs().empty());
    }
}

TEST_F(UpgradeButtonTest, OneModelessDialogForAnAgentEvenInItsLoader) {
    // Its address is also in the monitor list: only its own list counts.
    Select(1);
    Press();
    EXPECT_TRUE(notifier.shown.empty());
    ASSERT_EQ(Dialogs().size(), 1u);
    CFirmware_Upgrade* dialog = Dialogs()[0];
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(FieldText(window->upgrade().target().mac_text), "020000000002");
    EXPECT_EQ(S(dialog->findChild<QLineEdit*>(QStringLiteral("ctl1060"))->text()), "198.18.0.12");
    // The window goes on answering: a second press says why nothing opens.
    Press();
    EXPECT_EQ(notifier.Texts().size(), 1u);
    EXPECT_NE(notifier.Texts()[0].find("already open"), std::string::npos);
    EXPECT_EQ(Dialogs().size(), 1u);

    dialog->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Dialogs().empty(); }));
    notifier.shown.clear();
    Press();
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_EQ(Dialogs().size(), 1u);
}

// The dialog of the window for agent 020000000002 (198.18.0.12), as the
// button opens it.
class UpgradeEndTest : public UpgradeButtonTest {
protected:
    CFirmware_Upgrade* OpenDialog() {
        Select(1);
        Press();
        const QList<CFirmware_Upgrade*> dialogs = Dialogs();
        return dialogs.size() == 1 ? dialogs[0] : nullptr;
    }
    static QLineEdit& UpgradeState(CFirmware_Upgrade& dialog) {
        return *dialog.findChild<QLineEdit*>(QStringLiteral("ctl1073"));
    }
    std::string Log() const {
        std::ifstream in(window->eventLog().Path(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

UpgradeEnd EndOf(UpgradeEndKind kind) {
    UpgradeEnd end;
    end.kind = kind;
    return end;
}

// Each end of an upgrade as the run reports it, in the real dialog inside
// the real window: the box first (after its log line), then Upgrade State,
// and the dialog ends only with the device's answer to the last block or
// its error.
TEST_F(UpgradeEndTest, EachEndWritesItsStateShowsItsBoxAndClosesOrNot) {
    UpgradeEnd device_error = EndOf(UpgradeEndKind::DeviceError);
    device_error.device_error = "Flash busy";
    // Another text: the same line again within its second would be folded.
    UpgradeEnd device_error_reboots = device_error;
    device_error_reboots.device_error = "Flash locked";
    device_error_reboots.reboot_hint = true;
    UpgradeEnd transfer_failed = EndOf(UpgradeEndKind::TransferFailed);
    transfer_failed.sent = 1024;
    transfer_failed.total = 3000;
    UpgradeEnd trigger_refused = EndOf(UpgradeEndKind::TriggerRefused);
    trigger_refused.status = 3;
    UpgradeEnd refused = EndOf(UpgradeEndKind::Refused);
    refused.reason = kFirmwareFileNotFound;
    UpgradeEnd bind_failed = EndOf(UpgradeEndKind::LocalFailure);
    bind_failed.reason = kBindTftpSocketError;
    bind_failed.triggered = true;
    UpgradeEnd completed = EndOf(UpgradeEndKind::Completed);
    completed.sent = completed.total = 3000;

    const std::string before = "Upgrade...2048/3000 bytes";
    const struct {
        const char* name;
        UpgradeEnd end;
        const char* state; // Upgrade State afterwards
        std::vector<ShownMessage> boxes;
        const char* log; // the event-log line after its time stamp; nullptr: none
        bool closes;
    } cases[] = {
        {"device error",
         device_error,
         " ",
         {{"Flash busy", "upgrade fail", MessageIcon::Error}},
         " 198.18.0.12 Flash busy \r\n",
         true},
        {"device error of a device that reboots",
         device_error_reboots,
         " ",
         {{"Flash locked\nThe device will reboot, please wait for a few seconds", "upgrade fail",
           MessageIcon::Error}},
         " 198.18.0.12 Flash locked \r\n",
         true},
        {"device not found",
         EndOf(UpgradeEndKind::DeviceNotFound),
         "Device not found",
         {},
         nullptr,
         false},
        {"transfer failed",
         transfer_failed,
         "Upgrade fail, translate 1024/3000 bytes",
         {},
         " 198.18.0.12 Upgrade fail, translate 1024/3000 bytes \r\n",
         false},
        {"trigger not answered",
         EndOf(UpgradeEndKind::TriggerNotAnswered),
         "Trigger fail",
         {},
         nullptr,
         false},
        // The agent's status has its own box, from the reply itself.
        {"trigger refused", trigger_refused, "Trigger fail", {}, nullptr, false},
        {"form refused",
         refused,
         before.c_str(),
         {{"Firmware file not found", "Error", MessageIcon::Error}},
         nullptr,
         false},
        {"socket failed after the trigger",
         bind_failed,
         "Wait....",
         {{"Bind tftps socket error", "Error", MessageIcon::Error}},
         nullptr,
         false},
        // Its box says it already.
        {"trigger not sent",
         EndOf(UpgradeEndKind::LocalFailure),
         before.c_str(),
         {},
         nullptr,
         false},
        {"completed", completed, before.c_str(), {}, nullptr, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QPointer<CFirmware_Upgrade> dialog = OpenDialog();
        ASSERT_FALSE(dialog.isNull());
        UpgradeState(*dialog).setText(QString::fromLatin1(before));
        notifier.shown.clear();
        const std::string log_before = Log();
        struct AtBox {
            std::string state;
            std::string log;
            bool open;
        };
        std::vector<AtBox> at_box;
        notifier.while_showing = [&] {
            at_box.push_back({S(UpgradeState(*dialog).text()), Log(), dialog->isVisible()});
        };

        Q_EMIT window->upgrade().Ended(c.end);
        notifier.while_showing = nullptr;

        EXPECT_EQ(notifier.shown, c.boxes);
        const std::string written = Log().substr(log_before.size());
        if (c.log) {
            ASSERT_EQ(written.size(), kTimeStampLength + std::string(c.log).size()) << written;
            EXPECT_EQ(written.substr(kTimeStampLength), c.log);
        } else {
            EXPECT_EQ(written, "");
        }
        ASSERT_EQ(at_box.size(), c.boxes.size());
        for (const AtBox& seen : at_box) {
            EXPECT_EQ(seen.state, before) << "written once the box is closed";
            EXPECT_EQ(seen.log, Log()) << "the log line comes first";
            EXPECT_TRUE(seen.open);
        }
        ASSERT_FALSE(dialog.isNull());
        EXPECT_EQ(S(UpgradeState(*dialog).text()), c.state);
        EXPECT_EQ(window->rediscovery().running(), c.end.kind == UpgradeEndKind::Completed);
        if (c.closes) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }));
        } else {
            QTest::qWait(50);
            ASSERT_FALSE(dialog.isNull()) << "the dialog stays";
            EXPECT_TRUE(dialog->isVisible());
            dialog->close();
            ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }));
        }
    }
}

// Upgrade State while the transfer runs: the first block says nothing more.
TEST_F(UpgradeEndTest, TheTransferWritesUpgradeStateAsItGoes) {
    const QPointer<CFirmware_Upgrade> dialog = OpenDialog();
    ASSERT_FALSE(dialog.isNull());
    UpgradeRun& run = window->upgrade();
    Q_EMIT run.TransferStarted();
    EXPECT_EQ(S(UpgradeState(*dialog).text()), "Wait....");
    Q_EMIT run.Progress({.sent = 512, .acknowledged = 0, .total = 1500, .block = 1});
    EXPECT_EQ(S(UpgradeState(*dialog).text()), "Wait....");
    Q_EMIT run.Progress({.sent = 1024, .acknowledged = 512, .total = 1500, .block = 2});
    EXPECT_EQ(S(UpgradeState(*dialog).text()), "Upgrade...1024/1500 bytes");
    Q_EMIT run.Progress(
        {.sent = 1500, .acknowledged = 1024, .total = 1500, .block = 3, .last = true});
    EXPECT_EQ(S(UpgradeState(*dialog).text()), "Complete...1500/1500 bytes");
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_TRUE(dialog->isVisible());
}

} // namespace
