#pragma once
// The protocol's ports are fixed, so one program per computer (per network
// namespace) may hold them. Whoever opens the sockets takes this lock first;
// a second program learns who holds the ports instead of meeting a bind
// failure. A lock left by a program that died is taken over.

#include <QLockFile>
#include <QString>

#include <memory>

namespace kestrel {

struct InstanceHolder {
    qint64 pid = 0;
    QString program; // empty when the lock does not say
};

class InstanceGuard {
public:
    enum class State { Held, HeldByOther, Failed };

    // Takes the lock for these ports at once (no waiting).
    explicit InstanceGuard(quint16 base_port, const QString& folder = DefaultFolder());

    State state() const { return state_; }
    bool held() const { return state_ == State::Held; }
    const InstanceHolder& holder() const { return holder_; }
    const QString& path() const { return path_; }

    // One sentence for the user when the lock is not ours: who holds the
    // ports, or why the lock could not be taken.
    QString Explanation() const;

    // /run/lock, shared by every user and the service; else the user's
    // runtime folder (XDG_RUNTIME_DIR); else a private temporary folder.
    static QString DefaultFolder();
    // The lock's file name: the base port and, where there are network
    // namespaces, the namespace, since each has its own ports.
    static QString FileName(quint16 base_port);

private:
    std::unique_ptr<QLockFile> lock_;
    QString path_;
    quint16 base_port_;
    State state_ = State::Failed;
    InstanceHolder holder_;
    QString failure_;
};

} // namespace kestrel
