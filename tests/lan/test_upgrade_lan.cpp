// The firmware upgrade end to end, as the operator does it: the real main
// window, its "Firmware upgrade" button and the Firmware Upgrade dialog
// against a simulated agent that answers TFTP from a port of its own, so a
// DATA packet sent anywhere but port 69 would show. Runs inside scripts/lan.

#include "FirmwareImages.h"
#include "LanWindowFixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace lan_window;
using kestrel::MessageIcon;

namespace {

const ShownMessage kSuccessful{"Upgrade successful", "information", MessageIcon::Information};
const std::string kAgent = "ip=198.18.1.2 mac=020000000002 iface=3 password=pw reboot=1 ";

class UpgradeLanTest : public LanWindowFixture {
protected:
    void StartAgent(const std::string& keys = "") {
        ASSERT_TRUE(sim.Start(
            {.agents = kAgent + keys + "\n", .count = 0, .args = {"--tftp-reply-port", "50069"}}))
            << sim.Error();
    }
    void TearDown() override {
        EXPECT_EQ(sim.Count("TFTP BAD"), 0) << "every packet goes to port 69";
        if (HasFailure())
            for (const std::string& line : sim.Lines())
                std::fprintf(stderr, "sim: %s\n", line.c_str());
        LanWindowFixture::TearDown();
    }

    // The agent selected in the discovery list and "Firmware upgrade"; every
    // text its Upgrade State field shows is kept in states.
    CFirmware_Upgrade* OpenDialog() {
        if (discovery().topLevelItemCount() == 0)
            Discover(1);
        SelectRow(discovery(), 0);
        Press("ctl1042");
        CFirmware_Upgrade* dialog = window->upgradeDialog();
        if (dialog) {
            auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("ctl1073"));
            EXPECT_NE(field, nullptr);
            if (field)
                QObject::connect(field, &QLineEdit::textChanged,
                                 [this](const QString& t) { states.push_back(t.toStdString()); });
        }
        return dialog;
    }
    // The path and the password typed in, then Start.
    static void Start(CFirmware_Upgrade* dialog, const std::string& path,
                      const std::string& password) {
        auto* path_edit = dialog->findChild<QLineEdit*>(QStringLiteral("ctl1045"));
        path_edit->setText(QString::fromStdString(path));
        auto* password_edit = dialog->findChild<QLineEdit*>(QStringLiteral("ctl1070"));
        password_edit->clear();
        QTest::keyClicks(password_edit, QString::fromStdString(password));
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("ctl1015")),
                          Qt::LeftButton);
    }
    static std::string StateField(CFirmware_Upgrade* dialog) {
        return dialog->findChild<QLineEdit*>(QStringLiteral("ctl1073"))->text().toStdString();
    }

    // A file of `size` bytes whose every block differs; returns its path.
    std::string WriteImage(std::size_t size) {
        image = firmware_images::PatternImage(size);
        const QString path = images.filePath(QStringLiteral("fw-%1.hex").arg(size));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(size));
        return path.toStdString();
    }
    // What the agent reports for the image it stored, as it must read.
    std::string StoredLine(const std::string& path) const {
        return firmware_images::StoredText("198.18.1.2", image) + " name=" + path;
    }
    std::string LogText() const {
        QFile log(CfgFile("syslog.log"));
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return log.readAll().toStdString();
    }

    QTemporaryDir images;
    std::vector<uint8_t> image;
    std::vector<std::string> states;
};

TEST_F(UpgradeLanTest, ImagesArriveByteForByteAndTheAgentComesBack) {
    StartAgent();
    // One ACK of each transfer is lost and its packet goes again. Not the
    // last one: the agent reboots after its last block, acknowledged or not.
    const struct {
        std::size_t size;
        int dropped_ack;
        const char* last_state;
    } cases[] = {
        {0, 0, "Complete...0/0 bytes"},
        {1000, 1, "Complete...1000/1000 bytes"},
        {1024, 2, "Complete...1024/1024 bytes"},
        {(1 << 20) + 123, 2, "Complete...1048699/1048699 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        ASSERT_TRUE(sim.Command("set 198.18.1.2 tftp_drop_ack=" + std::to_string(c.dropped_ack)));
        const std::string path = WriteImage(c.size);
        QPointer<CFirmware_Upgrade> dialog = OpenDialog();
        ASSERT_FALSE(dialog.isNull());
        const std::size_t from = sim.Lines().size();
        const int verdicts = Shown(kSuccessful);
        states.clear();

        Start(dialog, path, "pw");
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }, 60000))
            << "the dialog closes after the last ACK and the wait";
        EXPECT_TRUE(sim.WaitForLine(StoredLine(path), 1000, from));
        EXPECT_TRUE(
            sim.WaitForLine("ack-dropped block=" + std::to_string(c.dropped_ack), 100, from));
        EXPECT_TRUE(
            sim.WaitForLine("TFTP 198.18.1.2 wrq from=198.18.0.1:64517 name=" + path, 100, from));
        ASSERT_FALSE(states.empty());
        EXPECT_EQ(states.front(), "Wait....");
        EXPECT_EQ(states.back(), c.last_state);
        if (c.size > 1024) {
            EXPECT_EQ(states[1], "Upgrade...1024/1048699 bytes");
        }
        // The agent reboots; the rediscovery finds it again.
        ASSERT_TRUE(QTest::qWaitFor([&] { return Shown(kSuccessful) == verdicts + 1; }, 40000));
        EXPECT_TRUE(sim.WaitForLine("STATE 198.18.1.2 back", 100, from));
    }
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>(4, kSuccessful));
    EXPECT_EQ(LogText(), "");
}

TEST_F(UpgradeLanTest, AWrongPasswordIsTriggerFailAndNothingGoesOverTftp) {
    StartAgent();
    CFirmware_Upgrade* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    Start(dialog, WriteImage(1000), "wrong");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !states.empty(); }, 5000));
    EXPECT_EQ(states, std::vector<std::string>{"Trigger fail"});
    EXPECT_EQ(StateField(dialog), "Trigger fail");
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>({{"Device return : password error", "Error",
                                                          MessageIcon::Error}}));
    EXPECT_EQ(sim.Count("TRIGGER 198.18.1.2 status=2"), 1) << "both copies taken as one";
    EXPECT_EQ(sim.Count("TFTP 198.18.1.2 wrq"), 0);
    EXPECT_EQ(window->upgradeDialog(), dialog) << "the dialog stays for another try";
}

TEST_F(UpgradeLanTest, AnErrorFromTheAgentIsShownLoggedAndEndsTheDialog) {
    StartAgent("tftp_error_at=2 tftp_error_text=\"bad flash\"");
    QPointer<CFirmware_Upgrade> dialog = OpenDialog();
    ASSERT_FALSE(dialog.isNull());
    const bool hint = window->upgrade().target().field_mask[3] < 0x20000000;
    Start(dialog, WriteImage(2000), "pw");
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }, 15000));
    const std::string text =
        std::string("bad flash") +
        (hint ? "\nThe device will reboot, please wait for a few seconds" : "");
    EXPECT_EQ(notifier.shown,
              std::vector<ShownMessage>({{text, "upgrade fail", MessageIcon::Error}}));
    const std::string log = LogText();
    EXPECT_NE(log.find(" 198.18.1.2 bad flash \r\n"), std::string::npos) << log;
    EXPECT_EQ(states.back(), " ");
    EXPECT_EQ(sim.Count("stored"), 0);
}

TEST_F(UpgradeLanTest, AnAgentThatNeverAnswersTheWriteIsNotFound) {
    StartAgent("tftp_silent_at=0");
    CFirmware_Upgrade* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    QElapsedTimer clock;
    clock.start();
    Start(dialog, WriteImage(1000), "pw");
    ASSERT_TRUE(QTest::qWaitFor([&] { return StateField(dialog) == "Device not found"; }, 20000));
    // 2.5 s of re-join and trigger wait, then 9 s of retransmissions.
    EXPECT_GE(clock.elapsed(), 11000);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return sim.Count("TFTP 198.18.1.2 ignored reason=silent-at") == 6; }, 1000))
        << "the request and five more";
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_EQ(window->upgradeDialog(), dialog);
    EXPECT_TRUE(dialog->findChild<QPushButton*>(QStringLiteral("ctl1015"))->isEnabled());
}

TEST_F(UpgradeLanTest, ATooLargeImageIsRefusedBeforeAnythingIsSent) {
    StartAgent();
    CFirmware_Upgrade* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    const QString path = images.filePath(QStringLiteral("huge.hex"));
    QFile huge(path);
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(65535LL * 512)); // sparse
    huge.close();
    Start(dialog, path.toStdString(), "pw");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notifier.shown.empty(); }, 3000));
    QTest::qWait(2500);
    EXPECT_EQ(notifier.Texts(),
              std::vector<std::string>{
                  "Firmware file too large: at most 65535 blocks of 512 bytes (33553919 bytes)"});
    EXPECT_EQ(sim.Count("TRIGGER"), 0);
    EXPECT_EQ(sim.Count("TFTP"), 0);
    EXPECT_TRUE(states.empty());
}

} // namespace
