#include "InstanceGuard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace kestrel {

namespace {

// "net:[4026531840]" -> "4026531840"; empty where there is no such link.
QString NetworkNamespace() {
    const QString link = QFile::symLinkTarget(QStringLiteral("/proc/self/ns/net"));
    const qsizetype open = link.indexOf(u'[');
    const qsizetype close = link.indexOf(u']');
    if (open < 0 || close <= open)
        return {};
    return link.mid(open + 1, close - open - 1);
}

} // namespace

QString InstanceGuard::DefaultFolder() {
    // The ports belong to the computer, not to one user: a window, another
    // user's window and the service must all find the same lock.
    const QFileInfo shared(QStringLiteral("/run/lock"));
    if (shared.isDir() && shared.isWritable())
        return shared.filePath();
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    // Private to the user, so that nobody else can plant or remove our lock.
    const QString folder =
        QDir::tempPath() +
        QStringLiteral("/kestrel-utility-%1").arg(static_cast<qulonglong>(getuid()));
    QDir().mkpath(folder);
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return folder;
}

QString InstanceGuard::FileName(quint16 base_port) {
    const QString ns = NetworkNamespace();
    return ns.isEmpty() ? QStringLiteral("kestrel-utility-%1.lock").arg(base_port)
                        : QStringLiteral("kestrel-utility-%1-net%2.lock").arg(base_port).arg(ns);
}

InstanceGuard::InstanceGuard(quint16 base_port, const QString& folder)
    : path_(QDir(folder).filePath(FileName(base_port))), base_port_(base_port) {
    lock_ = std::make_unique<QLockFile>(path_);
    // Only a dead holder makes a lock stale, however old it is.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        // Readable by the others, whatever our umask, so they can say who we are.
        QFile::setPermissions(path_, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                         QFileDevice::ReadGroup | QFileDevice::ReadOther);
        state_ = State::Held;
        return;
    }
    if (lock_->error() == QLockFile::LockFailedError) {
        QString host;
        lock_->getLockInfo(&holder_.pid, &host, &holder_.program);
        state_ = State::HeldByOther;
        return;
    }
    state_ = State::Failed;
    failure_ = lock_->error() == QLockFile::PermissionError ? QStringLiteral("permission denied")
                                                            : QStringLiteral("unknown error");
}

QString InstanceGuard::Explanation() const {
    switch (state_) {
    case State::Held:
        return {};
    case State::HeldByOther: {
        const QString who =
            holder_.program.isEmpty() ? QStringLiteral("another program") : holder_.program;
        return QStringLiteral("The utility's ports (base port %1) are held by %2 (pid %3): "
                              "close it first, or use it instead.")
            .arg(base_port_)
            .arg(who)
            .arg(holder_.pid);
    }
    case State::Failed:
        break;
    }
    return QStringLiteral("Cannot take the lock %1: %2").arg(path_, failure_);
}

} // namespace kestrel
