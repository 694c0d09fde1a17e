// The main window's monitor-list and log commands, through its menu and
// lists, with monitor.cfg files written from the record layout.
#include "WindowFixture.h"

#include <QHeaderView>
#include <QTest>
#include <QTreeWidget>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace kestrel;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr std::size_t kOffMac = 4;
constexpr std::size_t kOffIpText = 109;
constexpr std::size_t kOffIp = 232;
constexpr std::size_t kOffRowState = 256;
constexpr std::size_t kOffStatusImage = 264;
constexpr std::size_t kOffDhcpState = 282;
constexpr std::size_t kOffGroupInterval = 248;

void PutLe32(Bytes& b, std::size_t offset, uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        b[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

Bytes Record(const std::string& ip_text, uint32_t ip, const std::string& mac, int32_t image) {
    Bytes r(300, 0);
    std::memcpy(r.data() + kOffMac, mac.data(), mac.size());
    std::memcpy(r.data() + kOffIpText, ip_text.data(), ip_text.size());
    PutLe32(r, kOffIp, ip);
    PutLe32(r, kOffRowState, 1);
    PutLe32(r, kOffStatusImage, static_cast<uint32_t>(image));
    PutLe32(r, kOffGroupInterval, static_cast<uint32_t>(-1));
    r[kOffDhcpState] = 2;
    return r;
}

Bytes Concat(const std::vector<Bytes>& records) {
    Bytes all;
    for (const Bytes& r : records)
        all.insert(all.end(), r.begin(), r.end());
    return all;
}

Bytes ReadBytes(const QString& file) {
    std::ifstream in(file.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const QString& file, const Bytes& bytes) {
    std::ofstream out(file.toStdString(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> IpTextsInFile(const Bytes& file) {
    std::vector<std::string> ips;
    for (std::size_t at = 0; at + 300 <= file.size(); at += 300)
        ips.emplace_back(reinterpret_cast<const char*>(file.data()) + at + kOffIpText);
    return ips;
}

const std::vector<Bytes> kThreeAgents = {
    Record("10.0.0.2", 0x0A000002, "00aa00000002", -1),
    Record("10.0.0.10", 0x0A00000A, "00aa0000000a", 1),
    Record("10.0.0.1", 0x0A000001, "", -1),
};

// A fresh window over a cfg directory that holds the given monitor.cfg.
class WindowFilesTest : public WindowFixture {
protected:
    void SetUp() override {}
    void Open(const Bytes* monitor_cfg) {
        ASSERT_TRUE(cfg_dir.isValid());
        if (monitor_cfg)
            WriteBytes(CfgFile("monitor.cfg"), *monitor_cfg);
        WindowFixture::SetUp();
        window->fileCommands().chooseFile = [this](QWidget*, MonitorFileDialog kind) {
            asked.push_back(kind);
            return answer;
        };
        window->fileCommands().openUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return viewer_opens;
        };
    }

    std::vector<std::string> RowIps() {
        std::vector<std::string> ips;
        QTreeWidget& list = window->monitorList();
        for (int i = 0; i < list.topLevelItemCount(); ++i)
            ips.push_back(list.topLevelItem(i)->text(1).toStdString());
        return ips;
    }

    void ClickMonitorHeader(int column) {
        QHeaderView* header = window->monitorList().header();
        const QPoint at(header->sectionViewportPosition(column) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    std::vector<MonitorFileDialog> asked;
    QString answer;
    std::vector<QUrl> opened;
    bool viewer_opens = true; // what the desktop answers
};

TEST_F(WindowFilesTest, StartUpShowsTheSavedAgentsWithTheirImages) {
    const Bytes file = Concat(kThreeAgents);
    Open(&file);
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_EQ(RowIps(), (std::vector<std::string>{"10.0.0.2", "10.0.0.10", "10.0.0.1"}));
    ASSERT_EQ(window->tables().monitor.count(), 3);
    EXPECT_EQ(window->tables().monitor.records[0].status_image, kImageNone);
    EXPECT_EQ(window->tables().monitor.records[1].status_image, kImageNotAlive);
    QTreeWidget& list = window->monitorList();
    EXPECT_TRUE(list.topLevelItem(0)->icon(0).isNull());
    EXPECT_FALSE(list.topLevelItem(1)->icon(0).isNull());
}

TEST_F(WindowFilesTest, StartUpLengthErrorLeavesAnEmptyList) {
    Bytes file = Concat(kThreeAgents);
    file.resize(301);
    Open(&file);
    EXPECT_EQ(notifier.shown,
              (std::vector<ShownMessage>{{"Config File Error", "Error", MessageIcon::Error}}));
    EXPECT_EQ(window->monitorList().topLevelItemCount(), 0);
    EXPECT_EQ(window->tables().monitor.count(), 0);
}

TEST_F(WindowFilesTest, StartUpWithoutMonitorCfgIsQuiet) {
    Open(nullptr);
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_EQ(window->monitorList().topLevelItemCount(), 0);
}

TEST_F(WindowFilesTest, SaveAfterASortWritesTableOrder) {
    const Bytes file = Concat(kThreeAgents);
    Open(&file);
    ClickMonitorHeader(1); // first click sorts descending, byte-wise
    ASSERT_EQ(RowIps(), (std::vector<std::string>{"10.0.0.2", "10.0.0.10", "10.0.0.1"}));
    ClickMonitorHeader(1); // ascending
    ASSERT_EQ(RowIps(), (std::vector<std::string>{"10.0.0.1", "10.0.0.10", "10.0.0.2"}));

    std::filesystem::remove(CfgFile("monitor.cfg").toStdString());
    window->menu().monitorSave().trigger();
    EXPECT_EQ(IpTextsInFile(ReadBytes(CfgFile("monitor.cfg"))),
              (std::vector<std::string>{"10.0.0.2", "10.0.0.10", "10.0.0.1"}));
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(WindowFilesTest, EmptyListSavesAZeroByteFile) {
    Open(nullptr);
    window->menu().monitorSave().trigger();
    EXPECT_TRUE(QFileInfo::exists(CfgFile("monitor.cfg")));
    EXPECT_EQ(QFileInfo(CfgFile("monitor.cfg")).size(), 0);
}

TEST_F(WindowFilesTest, SaveAsThenLoadOfTheSameFileOnlyWarns) {
    const Bytes file = Concat(kThreeAgents);
    Open(&file);
    answer = CfgFile("copy.cfg");
    window->menu().monitorSaveAs().trigger();
    EXPECT_EQ(ReadBytes(CfgFile("copy.cfg")).size(), 900u);

    window->menu().monitorLoad().trigger();
    EXPECT_EQ(asked,
              (std::vector<MonitorFileDialog>{MonitorFileDialog::SaveAs, MonitorFileDialog::Load}));
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>(3, {"Duplicate ip in monitor list",
                                                            "Warning", MessageIcon::Warning}));
    EXPECT_EQ(window->monitorList().topLevelItemCount(), 3);
}

TEST_F(WindowFilesTest, LoadAppendsRowsAfterTheMonitoredAgents) {
    const Bytes file = Concat({kThreeAgents[0]});
    Open(&file);
    WriteBytes(CfgFile("more.cfg"), Concat({kThreeAgents[1], kThreeAgents[1], kThreeAgents[2]}));
    answer = CfgFile("more.cfg");
    window->menu().monitorLoad().trigger();
    EXPECT_EQ(RowIps(), (std::vector<std::string>{"10.0.0.2", "10.0.0.10", "10.0.0.1"}));
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"Duplicate ip in monitor list"});
}

TEST_F(WindowFilesTest, SaveFailureIsReportedAndLeavesNoFile) {
    Open(nullptr);
    answer = CfgFile("missing/list.cfg");
    window->menu().monitorSaveAs().trigger();
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].caption, "Error");
    EXPECT_FALSE(QFileInfo::exists(CfgFile("missing")));
}

TEST_F(WindowFilesTest, MonitorSaveFailureSaysWhy) {
    // A folder where monitor.cfg belongs: the saved file cannot take its
    // place, for root too.
    Open(nullptr);
    ASSERT_TRUE(QDir(cfg_dir.path()).mkpath(QStringLiteral("monitor.cfg/kept")));
    window->menu().monitorSave().trigger();
    EXPECT_EQ(notifier.shown, (std::vector<ShownMessage>{
                                  {"Monitor save fail: " + CfgFile("monitor.cfg").toStdString() +
                                       "\nIs a directory",
                                   "Error", MessageIcon::Error}}));
    EXPECT_TRUE(QFileInfo(CfgFile("monitor.cfg/kept")).isDir());
}

TEST_F(WindowFilesTest, ViewLogWithoutAViewerNamesTheLog) {
    Open(nullptr);
    viewer_opens = false;
    window->menu().viewLog().trigger();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(notifier.shown, (std::vector<ShownMessage>{{"No program could open the log file " +
                                                              CfgFile("syslog.log").toStdString(),
                                                          "Error", MessageIcon::Error}}));
}

TEST_F(WindowFilesTest, ViewLogAndClearLog) {
    Open(nullptr);
    WriteBytes(CfgFile("syslog.log"), Bytes{'x', '\r', '\n'});
    window->menu().clearLog().trigger();
    EXPECT_TRUE(QFileInfo::exists(CfgFile("syslog.log")));
    EXPECT_EQ(QFileInfo(CfgFile("syslog.log")).size(), 0);

    window->menu().viewLog().trigger();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(CfgFile("syslog.log")));
    EXPECT_TRUE(notifier.shown.empty());
}

} // namespace
