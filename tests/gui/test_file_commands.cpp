// The File and View menu commands over a fresh cfg directory, with the file
// dialogs and the viewer launch answered by the test.
#include "app/FileCommands.h"

#include "support/FakeListHooks.h"
#include "support/FakeNotifier.h"

#include <QDesktopServices>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

using namespace kestrel;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FileCommandsTest : public ::testing::Test {
protected:
    FileCommandsTest() {
        commands.chooseFile = [this](QWidget*, MonitorFileDialog kind) {
            asked.push_back(kind);
            return answer;
        };
        commands.openUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return viewer_opens;
        };
    }
    std::filesystem::path CfgFile(const char* name) const { return LocalPath(cfg.path()) / name; }

    void Monitor(const char* ip, const char* mac) {
        DeviceRecord r = ZeroRecord();
        SetFieldText(r.ip_text, ip);
        SetFieldText(r.mac_text, mac);
        r.status_image = kImageNone;
        ASSERT_TRUE(tables.monitor.Append(r));
        hooks.RefreshMonitorRow(tables.monitor.count() - 1);
    }

    QTemporaryDir cfg;
    DeviceTables tables;
    FakeListHooks hooks{tables};
    FakeNotifier notifier;
    // The cfg folder is handed in; nothing reads it from the environment.
    CFileCommands commands{nullptr, LocalPath(cfg.path()), tables.monitor, hooks, notifier};
    std::vector<MonitorFileDialog> asked;
    QString answer; // what the file dialog returns; empty is Cancel
    std::vector<QUrl> opened;
    bool viewer_opens = true; // what the desktop answers
};

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> opened;
public Q_SLOTS:
    void Open(const QUrl& url) { opened.push_back(url); }
};

TEST_F(FileCommandsTest, SaveWritesMonitorCfgInTheCfgDirectory) {
    Monitor("10.0.0.1", "001122334455");
    Monitor("10.0.0.2", "");
    commands.Save();
    const Bytes file = ReadBytes(CfgFile("monitor.cfg"));
    ASSERT_EQ(file.size(), 600u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()) + 109), "10.0.0.1");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()) + 300 + 109), "10.0.0.2");
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(FileCommandsTest, SaveAsWritesTheChosenFileAndCancelWritesNothing) {
    Monitor("10.0.0.1", "001122334455");
    commands.SaveAs(); // cancelled
    EXPECT_TRUE(std::filesystem::is_empty(LocalPath(cfg.path())));

    answer = cfg.filePath(QStringLiteral("backup.cfg"));
    commands.SaveAs();
    EXPECT_EQ(asked, (std::vector<MonitorFileDialog>{MonitorFileDialog::SaveAs,
                                                     MonitorFileDialog::SaveAs}));
    EXPECT_EQ(ReadBytes(CfgFile("backup.cfg")).size(), 300u);
    EXPECT_FALSE(std::filesystem::exists(CfgFile("monitor.cfg")));
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(FileCommandsTest, SaveFailureIsReported) {
    Monitor("10.0.0.1", "001122334455");
    answer = cfg.filePath(QStringLiteral("no-such-dir/backup.cfg"));
    commands.SaveAs();
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].text, "Monitor save fail: " + CfgFile("no-such-dir").string() +
                                          "/backup.cfg\nNo such file or directory");
    EXPECT_EQ(notifier.shown[0].caption, "Error");
    EXPECT_TRUE(std::filesystem::is_empty(LocalPath(cfg.path())));
}

TEST_F(FileCommandsTest, LoadAddsTheChosenFilesAgentsAfterTheMonitoredOnes) {
    Monitor("10.0.0.1", "aaaaaaaaaaaa");
    Monitor("10.0.0.2", "bbbbbbbbbbbb");
    answer = cfg.filePath(QStringLiteral("two.cfg"));
    commands.SaveAs();

    tables.monitor.Clear();
    hooks.monitor_rows.clear();
    Monitor("10.0.0.9", "");
    commands.Load();
    ASSERT_EQ(hooks.monitor_rows.size(), 3u);
    EXPECT_EQ(hooks.monitor_rows[1].ip_text, "10.0.0.1");
    EXPECT_EQ(hooks.monitor_rows[2].ip_text, "10.0.0.2");
    EXPECT_TRUE(hooks.faults.empty());

    // Loading it again only warns.
    commands.Load();
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>(2, "Duplicate ip in monitor list"));
    EXPECT_EQ(tables.monitor.count(), 3);

    // Cancel touches nothing.
    answer.clear();
    notifier.shown.clear();
    commands.Load();
    EXPECT_EQ(tables.monitor.count(), 3);
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_EQ(asked.back(), MonitorFileDialog::Load);
}

TEST_F(FileCommandsTest, StartUpLoadReadsMonitorCfg) {
    Monitor("10.0.0.1", "aaaaaaaaaaaa");
    tables.monitor.records[0].status_image = kImageNotAlive;
    commands.Save();

    DeviceTables restarted;
    FakeListHooks restarted_hooks(restarted);
    CFileCommands(nullptr, LocalPath(cfg.path()), restarted.monitor, restarted_hooks, notifier)
        .LoadAtStartUp();
    ASSERT_EQ(restarted_hooks.monitor_rows.size(), 1u);
    EXPECT_EQ(restarted_hooks.monitor_rows[0].ip_text, "10.0.0.1");
    EXPECT_EQ(restarted_hooks.monitor_rows[0].status_image, kImageNotAlive);
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(FileCommandsTest, ViewLogOpensTheLogAsALocalFile) {
    commands.ViewLog();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(opened[0].isLocalFile());
    EXPECT_EQ(opened[0].toLocalFile(), cfg.filePath(QStringLiteral("syslog.log")));
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(FileCommandsTest, ViewLogSaysSoWhenNoViewerOpensTheLog) {
    viewer_opens = false;
    commands.ViewLog();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(notifier.shown, (std::vector<ShownMessage>{{"No program could open the log file " +
                                                              CfgFile("syslog.log").string(),
                                                          "Error", MessageIcon::Error}}));
}

TEST_F(FileCommandsTest, ViewLogGoesToTheDesktopsViewerAndIsQuietWhenItOpens) {
    // The command's own opener, not the test's: the desktop's handler for
    // local files takes the log.
    CFileCommands real{nullptr, LocalPath(cfg.path()), tables.monitor, hooks, notifier};
    UrlCatcher viewer;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &viewer, "Open");
    real.ViewLog();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(viewer.opened.size(), 1u);
    EXPECT_EQ(viewer.opened[0].toLocalFile(), cfg.filePath(QStringLiteral("syslog.log")));
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(FileCommandsTest, ClearLogEmptiesTheLog) {
    { std::ofstream(CfgFile("syslog.log"), std::ios::binary) << "old line\r\n"; }
    commands.ClearLog();
    EXPECT_TRUE(std::filesystem::is_regular_file(CfgFile("syslog.log")));
    EXPECT_EQ(std::filesystem::file_size(CfgFile("syslog.log")), 0u);
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(FileCommandsTest, ClearLogAlsoRemovesTheOlderLogFiles) {
    const char* rotated[] = {"syslog.log.1", "syslog.log.2", "syslog.log.3", "syslog.log.7"};
    const char* others[] = {"syslog.log.bak", "syslog.log.1x", "syslog.logs", "monitor.cfg"};
    for (const char* name : rotated)
        std::ofstream(CfgFile(name), std::ios::binary) << "old line\r\n";
    for (const char* name : others)
        std::ofstream(CfgFile(name), std::ios::binary) << "kept\r\n";
    { std::ofstream(CfgFile("syslog.log"), std::ios::binary) << "old line\r\n"; }

    commands.ClearLog();

    EXPECT_EQ(std::filesystem::file_size(CfgFile("syslog.log")), 0u);
    for (const char* name : rotated)
        EXPECT_FALSE(std::filesystem::exists(CfgFile(name))) << name;
    for (const char* name : others)
        EXPECT_EQ(ReadBytes(CfgFile(name)), (Bytes{'k', 'e', 'p', 't', '\r', '\n'})) << name;
    EXPECT_TRUE(notifier.shown.empty());
}

} // namespace

#include "test_file_commands.moc"
