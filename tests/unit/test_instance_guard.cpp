// The one-instance guard: who holds the ports, stale locks, ports and
// namespaces kept apart, and a lock that cannot be written.

#include "ScratchDir.h"
#include "core/InstanceGuard.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using kestrel::InstanceGuard;

namespace {

QString Folder(const ScratchDir& dir) {
    return QString::fromStdString(dir.path().string());
}

// The pid of a process that has certainly ended.
qint64 DeadPid() {
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

} // namespace

TEST(InstanceGuardTest, TheSecondLearnsTheHoldersProgramAndPid) {
    ScratchDir dir;
    InstanceGuard first(40100, Folder(dir));
    ASSERT_EQ(first.state(), InstanceGuard::State::Held);
    EXPECT_TRUE(first.Explanation().isEmpty());

    InstanceGuard second(40100, Folder(dir));
    ASSERT_EQ(second.state(), InstanceGuard::State::HeldByOther);
    EXPECT_EQ(second.holder().pid, QCoreApplication::applicationPid());
    // The lock names the program as the system knows it.
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    EXPECT_EQ(second.holder().program, program);
    EXPECT_EQ(second.Explanation(),
              QStringLiteral("The utility's ports (base port 40100) are held by %1 "
                             "(pid %2): close it first, or use it instead.")
                  .arg(program)
                  .arg(QCoreApplication::applicationPid()));
}

TEST(InstanceGuardTest, OtherPortsAreNotHeld) {
    ScratchDir dir;
    InstanceGuard first(40100, Folder(dir));
    InstanceGuard other(40200, Folder(dir));
    EXPECT_EQ(first.state(), InstanceGuard::State::Held);
    EXPECT_EQ(other.state(), InstanceGuard::State::Held);
    EXPECT_NE(first.path(), other.path());
}

TEST(InstanceGuardTest, ReleasedWhenTheHolderEnds) {
    ScratchDir dir;
    { InstanceGuard first(40100, Folder(dir)); }
    InstanceGuard next(40100, Folder(dir));
    EXPECT_EQ(next.state(), InstanceGuard::State::Held);
}

TEST(InstanceGuardTest, ALockLeftByAKilledProgramIsTakenOver) {
    ScratchDir dir;
    QByteArray left;
    QString path;
    {
        InstanceGuard first(40100, Folder(dir));
        path = first.path();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        left = file.readAll();
    }
    // The same lock, but its holder's pid is one that has ended.
    const qint64 dead = DeadPid();
    ASSERT_GT(dead, 0);
    const qsizetype end_of_pid = left.indexOf('\n');
    ASSERT_GT(end_of_pid, 0);
    left.replace(0, end_of_pid, QByteArray::number(dead));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(left);
    file.close();

    InstanceGuard next(40100, Folder(dir));
    EXPECT_EQ(next.state(), InstanceGuard::State::Held);
}

TEST(InstanceGuardTest, ALockThatCannotBeWrittenSaysWhereAndDoesNotClaimAHolder) {
    ScratchDir dir;
    // A folder under a regular file cannot exist, for root too.
    const QString blocked = Folder(dir) + QStringLiteral("/file");
    QFile plain(blocked);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();

    InstanceGuard guard(40100, blocked + QStringLiteral("/sub"));
    EXPECT_EQ(guard.state(), InstanceGuard::State::Failed);
    EXPECT_TRUE(
        guard.Explanation().startsWith(QStringLiteral("Cannot take the lock ") + guard.path()))
        << guard.Explanation().toStdString();
}

TEST(InstanceGuardTest, TheLockNameCarriesThePortAndTheNetworkNamespace) {
    const QString name = InstanceGuard::FileName(30303);
    EXPECT_TRUE(name.startsWith(QStringLiteral("kestrel-utility-30303"))) << name.toStdString();
    const QString ns = QFile::symLinkTarget(QStringLiteral("/proc/self/ns/net"));
    if (!ns.isEmpty()) {
        EXPECT_TRUE(name.contains(QStringLiteral("-net"))) << name.toStdString();
    }
}
