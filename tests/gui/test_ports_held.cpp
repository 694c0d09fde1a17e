// Two programs on one computer: the window that finds the protocol's ports
// held says once who holds them and ends, opening nothing; once the holder
// has gone, the next window starts as usual.

#include "app/switchyardDlg.h"
#include "core/InstanceGuard.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"
#include "support/FakeNotifier.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace kestrel;

namespace {

class PortsHeld : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cfg_.isValid());
        qputenv("KESTREL_CFG_DIR", cfg_.path().toLocal8Bit());
        const QString ecf = QDir(cfg_.path()).filePath(QStringLiteral("define.ecf"));
        ASSERT_TRUE(CreateSettingsFile(QFile::encodeName(ecf).toStdString(), DefaultSettings()));
    }
    void TearDown() override { qunsetenv("KESTREL_CFG_DIR"); }

    QTemporaryDir cfg_;
    FakeNotifier notifier_;
};

TEST_F(PortsHeld, OneBoxNamesTheHolderAndNothingOpens) {
    std::optional<InstanceGuard> holder(std::in_place, DefaultSettings().base_port);
    ASSERT_EQ(holder->state(), InstanceGuard::State::Held);

    CSwitchyardDlg window(notifier_);
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const std::string expected =
        QStringLiteral("The utility's ports (base port %1) are held by %2 (pid %3): close it "
                       "first, or use it instead.")
            .arg(DefaultSettings().base_port)
            .arg(program)
            .arg(QCoreApplication::applicationPid())
            .toStdString();
    EXPECT_EQ(notifier_.shown,
              (std::vector<ShownMessage>{{expected, "Error", MessageIcon::Error}}));
    EXPECT_TRUE(window.endedDuringStartUp());
    EXPECT_EQ(window.exec(), QDialog::Rejected); // returns at once

    // No socket of the window holds a port: each can still be bound here.
    for (const uint16_t port : {DefaultSettings().BroadcastPort(), DefaultSettings().UnicastPort(),
                                DefaultSettings().MulticastPort()}) {
        QUdpSocket probe;
        EXPECT_TRUE(probe.bind(QHostAddress::AnyIPv4, port)) << port;
    }
}

TEST_F(PortsHeld, TheNextWindowStartsOnceTheHolderHasGone) {
    { InstanceGuard holder(DefaultSettings().base_port); }
    CSwitchyardDlg window(notifier_);
    EXPECT_FALSE(window.endedDuringStartUp());
    EXPECT_TRUE(notifier_.shown.empty());
    // While it runs, it is the holder.
    InstanceGuard second(DefaultSettings().base_port);
    EXPECT_EQ(second.state(), InstanceGuard::State::HeldByOther);
    EXPECT_EQ(second.holder().pid, QCoreApplication::applicationPid());
}

} // namespace
