// Start-up of the real main window against define.ecf and its sockets: the
// ports derive from the loaded base port, a bad or missing settings file is
// reported and the window still opens, and a multicast socket that cannot be
// opened ends the program. Runs inside the simulated LAN (ctest does that).

#include "app/switchyardDlg.h"
#include "core/CfgDirectory.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"
#include "protocol/wire/PacketHeader.h"
#include "support/FakeNotifier.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

using namespace kestrel;

namespace {

const ShownMessage kWillFail{"It will cause the application fail\n ", "Error", MessageIcon::Error};

class StartUp : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cfg_.isValid());
        qputenv("KESTREL_CFG_DIR", cfg_.path().toLocal8Bit());
    }
    void TearDown() override {
        window_.reset();
        qunsetenv("KESTREL_CFG_DIR");
    }

    std::filesystem::path Ecf() const {
        return QFile::encodeName(QDir(cfg_.path()).filePath(QStringLiteral("define.ecf")))
            .toStdString();
    }
    void WriteSettings(const ProtocolSettings& settings) {
        ASSERT_TRUE(CreateSettingsFile(Ecf(), settings));
    }
    void Open() { window_ = std::make_unique<CSwitchyardDlg>(notifier_); }

    QTemporaryDir cfg_;
    FakeNotifier notifier_;
    std::unique_ptr<CSwitchyardDlg> window_;
};

TEST_F(StartUp, PortsAndIdentifierComeFromDefineEcf) {
    ProtocolSettings settings = DefaultSettings();
    settings.utility_id = 0x0000002A;
    settings.base_port = 500;
    WriteSettings(settings);

    // Requests go to the agent port P+2.
    QUdpSocket agent;
    ASSERT_TRUE(agent.bind(QHostAddress::AnyIPv4, 502));

    Open();
    EXPECT_TRUE(notifier_.shown.empty());
    EXPECT_FALSE(window_->endedDuringStartUp());
    EXPECT_EQ(window_->settings().utility_id, 42u);
    for (const SocketKind kind :
         {SocketKind::Broadcast, SocketKind::Multicast, SocketKind::Unicast})
        EXPECT_TRUE(window_->network().sockets().IsOpen(kind));

    // Each socket is bound to its port: P, P+6 and P+1 are taken.
    for (const quint16 port : {500, 506, 501}) {
        QUdpSocket probe;
        EXPECT_FALSE(probe.bind(QHostAddress::AnyIPv4, port)) << port;
    }

    window_->findChild<QPushButton*>(QStringLiteral("ctl1001"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return agent.hasPendingDatagrams(); }, 3000));
    const QNetworkDatagram request = agent.receiveDatagram();
    const QByteArray bytes = request.data();
    ASSERT_EQ(bytes.size(), 40);
    const PacketHeader header =
        DecodeHeader(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), 40));
    EXPECT_EQ(header.command, CMD_DISCOVERY);
    EXPECT_EQ(header.utility_id, 42u);

    // Replies by broadcast to P, to the group on P+6 and by unicast to P+1
    // all reach the discovery list.
    const struct {
        uint8_t mac_tail;
        const char* address;
        quint16 port;
    } ways[] = {
        {0x01, "255.255.255.255", 500}, {0x02, "239.255.255.250", 506}, {0x03, "198.18.0.1", 501}};
    for (const auto& way : ways) {
        std::array<uint8_t, kHeaderSize> reply{};
        PacketHeader h;
        h.protocol_version = 2;
        h.sub_version = 1;
        h.mac = {0x02, 0, 0, 0, 0, way.mac_tail};
        h.interface_version = 2;
        h.command = CMD_DISCOVERY_REPLY;
        h.utility_id = 42;
        EncodeHeader(h, reply);
        EXPECT_EQ(agent.writeDatagram(reinterpret_cast<const char*>(reply.data()), reply.size(),
                                      QHostAddress(QString::fromLatin1(way.address)), way.port),
                  qint64{kHeaderSize});
    }
    QTreeWidget& rows = window_->discoveryList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows.topLevelItemCount() == 3; }, 3000));
    QStringList macs;
    for (int i = 0; i < rows.topLevelItemCount(); ++i)
        macs << rows.topLevelItem(i)->text(0);
    macs.sort();
    EXPECT_EQ(macs, (QStringList{QStringLiteral("020000000001"), QStringLiteral("020000000002"),
                                 QStringLiteral("020000000003")}));
}

TEST_F(StartUp, ABadSettingsFileIsReportedAndTheWindowStillOpens) {
    struct Case {
        const char* name;
        bool create;
        ShownMessage first;
    } const cases[] = {
        {"bad checksum", true, {"define.ecf checksum error", "file error", MessageIcon::Error}},
        {"missing", false, {"define.ecf not found", "file error", MessageIcon::Error}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        notifier_.shown.clear();
        std::filesystem::remove(Ecf());
        if (c.create) {
            WriteSettings(DefaultSettings());
            QFile file(QFile::decodeName(Ecf().c_str()));
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            QByteArray bytes = file.readAll();
            bytes[3] = static_cast<char>(bytes[3] ^ 0x01); // one bit of the body
            file.seek(0);
            file.write(bytes);
            file.close();
        }
        Open();
        EXPECT_EQ(notifier_.shown, (std::vector<ShownMessage>{c.first, kWillFail}));
        EXPECT_FALSE(window_->endedDuringStartUp());
        // No identifier, ports or group: the window opens without sockets.
        EXPECT_FALSE(window_->network().sockets().IsOpen(SocketKind::Multicast));
        window_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        window_->close();
        window_.reset();
    }
}

// The user's cfg folder, as an installed program finds it, under `home`.
CfgLocation UserFolderUnder(const QString& home) {
    return {home + QStringLiteral("/.config/kestrel-utility"), CfgSource::UserFolder};
}

// After a start-up without settings, Discovery must add nothing to what was
// said: no socket was opened, so there is no broadcast option to refuse.
void ExpectDiscoveryAddsNoBox(CSwitchyardDlg& window, const FakeNotifier& notifier) {
    const std::size_t before = notifier.shown.size();
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.findChild<QPushButton*>(QStringLiteral("ctl1001"))->click();
    // The request would leave after the group re-join's pauses (0.5 s).
    EXPECT_FALSE(QTest::qWaitFor([&] { return notifier.shown.size() > before; }, 1200));
    EXPECT_EQ(notifier.shown.size(), before);
}

TEST_F(StartUp, AFolderThatCannotBeMadeIsSaidOnceWithTheSystemsReason) {
    // `home` is a regular file: nothing can be made under it, for root too.
    const QString home = QDir(cfg_.path()).filePath(QStringLiteral("home"));
    {
        QFile file(home);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    window_ = std::make_unique<CSwitchyardDlg>(notifier_, UserFolderUnder(home));
    const std::string refused = QFile::encodeName(home).toStdString() + "/.config";
    EXPECT_EQ(notifier_.Texts(), std::vector<std::string>{"Cannot create the folder " + refused +
                                                          ": Not a directory"});
    EXPECT_EQ(notifier_.shown, (std::vector<ShownMessage>{
                                   {"Cannot create the folder " + refused + ": Not a directory",
                                    "Error", MessageIcon::Error}}));
    EXPECT_FALSE(window_->endedDuringStartUp());
    EXPECT_FALSE(window_->network().sockets().IsOpen(SocketKind::Multicast));
    ExpectDiscoveryAddsNoBox(*window_, notifier_);
}

TEST_F(StartUp, AReadOnlyConfigFolderIsNamedWithItsReason) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into a read-only folder; the regular-file case covers root";
    const QString home = QDir(cfg_.path()).filePath(QStringLiteral("home"));
    const QString config = home + QStringLiteral("/.config");
    ASSERT_TRUE(QDir().mkpath(config));
    ASSERT_TRUE(QFile::setPermissions(config, QFile::ReadOwner | QFile::ExeOwner));
    window_ = std::make_unique<CSwitchyardDlg>(notifier_, UserFolderUnder(home));
    QFile::setPermissions(config, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(notifier_.shown,
              (std::vector<ShownMessage>{{"Cannot create the folder " +
                                              QFile::encodeName(config).toStdString() +
                                              "/kestrel-utility: Permission denied",
                                          "Error", MessageIcon::Error}}));
}

TEST_F(StartUp, AMissingSettingsFileIsSaidOnceAndDiscoveryAddsNothing) {
    // A folder given from outside: the usual pair of boxes, then quiet.
    Open();
    EXPECT_EQ(notifier_.shown,
              (std::vector<ShownMessage>{{"define.ecf not found", "file error", MessageIcon::Error},
                                         kWillFail}));
    ExpectDiscoveryAddsNoBox(*window_, notifier_);
}

TEST_F(StartUp, AMulticastSocketThatCannotOpenEndsTheProgram) {
    WriteSettings(DefaultSettings());
    QUdpSocket squatter; // P+6 already taken
    ASSERT_TRUE(squatter.bind(QHostAddress::AnyIPv4, DefaultSettings().MulticastPort()));

    Open();
    EXPECT_EQ(notifier_.shown,
              (std::vector<ShownMessage>{{"Bind socket error", "Error", MessageIcon::Error}}));
    EXPECT_TRUE(window_->endedDuringStartUp());
    EXPECT_EQ(window_->exec(), QDialog::Rejected); // returns at once
    EXPECT_FALSE(window_->isVisible());
}

} // namespace
