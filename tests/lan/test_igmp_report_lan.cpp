// kestrel-igmp-report run by an ordinary user (nobody) and given its
// privilege each way it can have it: the package's file capability, the
// set-user-ID fallback, an ambient capability as a service's unit would give.
// It sends exactly one well-formed report on the card it is given and
// nothing else, hands nothing back, leaves no process behind, and has given
// up every privilege before it reads its arguments. Packets are captured on
// the far end of the simulated LAN's veth pair.

#include "WireCapture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

using namespace wire_capture;

namespace {

constexpr uid_t kNobody = 65534;

enum class Privilege { None, FileCapability, SetUserId, Ambient };

struct Way {
    const char* name;
    Privilege privilege;
};
constexpr Way kWays[] = {
    {"file capability", Privilege::FileCapability},
    {"set-user-ID root", Privilege::SetUserId},
    {"ambient capability", Privilege::Ambient},
};

struct Outcome {
    int exit_code = -1; // -1: it did not end by itself
    std::string out;
    std::string err;
    int descriptors = 0; // received over its standard output
};

// Inside a user namespace made by a normal user only root is mapped.
bool NobodyMapped() {
    std::ifstream map("/proc/self/uid_map");
    unsigned long inside = 0, outside = 0, count = 0;
    while (map >> inside >> outside >> count)
        if (inside <= kNobody && kNobody - inside < count)
            return true;
    return false;
}

// The processes whose parent is this one: the helper's, once it has ended,
// would be any it left running (this process is their subreaper).
std::vector<int> Children() {
    std::vector<int> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const int pid = entry.toInt(&number);
        if (!number)
            continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const std::size_t after_name = text.rfind(')');
        if (after_name == std::string::npos)
            continue;
        std::istringstream fields(text.substr(after_name + 1));
        std::string state;
        int parent = 0;
        if (fields >> state >> parent && parent == ::getpid())
            children.push_back(pid);
    }
    return children;
}

// Standard output as a Unix socket, so that a descriptor passed over it would
// be seen; what was written, and the descriptors, counted and closed.
void ReadOut(int from, Outcome& run) {
    for (;;) {
        char data[512];
        iovec part{data, sizeof data};
        alignas(cmsghdr) char control[CMSG_SPACE(16 * sizeof(int))] = {};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(from, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
        if (n < 0)
            return;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
                continue;
            const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i) {
                int fd = -1;
                std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
                ::close(fd);
                ++run.descriptors;
            }
        }
        if (n == 0)
            return;
        run.out.append(data, static_cast<std::size_t>(n));
    }
}

std::string ReadAll(int from) {
    std::string text;
    char data[512];
    ssize_t n = 0;
    while ((n = ::read(from, data, sizeof data)) > 0)
        text.append(data, static_cast<std::size_t>(n));
    return text;
}

// program as user and group nobody with no other group; with the ambient
// capability when asked, else with nothing inherited.
Outcome RunAsNobody(const QString& program, Privilege privilege,
                    const std::vector<std::string>& args) {
    std::vector<std::string> words = {"setpriv", "--reuid=65534", "--regid=65534",
                                      "--clear-groups"};
    if (privilege == Privilege::Ambient) {
        words.push_back("--inh-caps=+net_raw");
        words.push_back("--ambient-caps=+net_raw");
    } else {
        words.push_back("--inh-caps=-all");
    }
    words.push_back("--");
    words.push_back(QFile::encodeName(program).toStdString());
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    Outcome run;
    int out[2];
    int err[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, out) != 0)
        return run;
    if (::pipe2(err, O_CLOEXEC) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    pid_t child = -1;
    const int spawned = ::posix_spawnp(&child, "setpriv", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned == 0) {
        int status = 0;
        pid_t ended = 0;
        for (int waited = 0; waited < 1000 && ended == 0; ++waited) {
            ended = ::waitpid(child, &status, WNOHANG);
            if (ended == 0)
                ::usleep(10000);
        }
        if (ended == 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
        } else if (WIFEXITED(status)) {
            run.exit_code = WEXITSTATUS(status);
        }
        ::fcntl(err[0], F_SETFL, O_NONBLOCK);
        ReadOut(out[0], run);
        run.err = ReadAll(err[0]);
    }
    ::close(out[0]);
    ::close(err[0]);
    return run;
}

// RFC 1071 over the IP header: a receiver's sum comes to all ones.
uint16_t OnesComplementSum(const std::vector<uint8_t>& bytes) {
    uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        sum += static_cast<uint32_t>(bytes[i] << 8 | bytes[i + 1]);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

// The report for 239.255.255.250 from 198.18.0.1 (kws0), as it must leave.
void ExpectTheReport(const Packet& p) {
    // Version 4, 20-byte header (no options), total 28 bytes, not fragmented,
    // TTL 1, protocol 2 (IGMP), 198.18.0.1 to 239.255.255.250. The
    // identification, the don't-fragment bit and the checksum are the
    // system's; the checksum is checked as a receiver does.
    const std::vector<uint8_t> header = {0x45, 0x00, 0x00, 0x1C, 0x00, 0x00, 0x00,
                                         0x00, 0x01, 0x02, 0x00, 0x00, 0xC6, 0x12,
                                         0x00, 0x01, 0xEF, 0xFF, 0xFF, 0xFA};
    // IGMP version 1 membership report (0x12), checksum FE04, the group.
    const std::vector<uint8_t> igmp = {0x12, 0x00, 0xFE, 0x04, 0xEF, 0xFF, 0xFF, 0xFA};
    std::vector<uint8_t> seen = p.header;
    ASSERT_EQ(seen.size(), header.size());
    EXPECT_EQ(OnesComplementSum(seen), 0xFFFF);
    seen[4] = seen[5] = 0;
    seen[6] &= ~0x40;
    seen[10] = seen[11] = 0;
    EXPECT_EQ(seen, header);
    EXPECT_EQ(p.payload, igmp);
}

class IgmpReportAsNobody : public ::testing::Test {
protected:
    void SetUp() override {
        if (!InsideSimulatedLan())
            GTEST_SKIP() << "runs only inside scripts/lan";
        if (!NobodyMapped())
            GTEST_SKIP() << "user " << kNobody << " has no place in this user namespace";
        ASSERT_TRUE(wire_.open()) << "no packet capture on " << kPeerLink;
        ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0), 0);
        ASSERT_TRUE(dir_.isValid());
        ASSERT_EQ(::chmod(QFile::encodeName(dir_.path()).constData(), 0755), 0);
        clock_.start();
    }

    // A copy of a program of the build that nobody may run, with the
    // privilege given as the package gives it (none for an ambient one: the
    // run gives that).
    QString Copy(const char* name, Privilege privilege) {
        const QString from =
            QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(name));
        const QString to =
            dir_.filePath(QStringLiteral("%1-%2").arg(QString::fromLatin1(name)).arg(++copies_));
        if (!QFile::copy(from, to))
            return {};
        const mode_t mode = privilege == Privilege::SetUserId ? 04755 : 0755;
        if (::chmod(QFile::encodeName(to).constData(), mode) != 0)
            return {};
        if (privilege == Privilege::FileCapability &&
            QProcess::execute(QStringLiteral("setcap"), {QStringLiteral("cap_net_raw+ep"), to}) !=
                0)
            return {};
        return to;
    }

    std::vector<Packet> Packets(int ms) {
        return wire_.CollectPackets(ms, clock_, [](const Packet&) { return true; });
    }

    WireCapture wire_;
    QTemporaryDir dir_;
    QElapsedTimer clock_;
    int copies_ = 0;
};

TEST_F(IgmpReportAsNobody, SendsOneWellFormedReportAndLeavesNothingBehind) {
    for (const Way& way : kWays) {
        SCOPED_TRACE(way.name);
        const QString helper = Copy("kestrel-igmp-report", way.privilege);
        ASSERT_FALSE(helper.isEmpty());
        Packets(50); // whatever came before
        const Outcome run = RunAsNobody(helper, way.privilege, {"239.255.255.250", "kws0"});
        EXPECT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.descriptors, 0) << "a descriptor was handed out";
        EXPECT_TRUE(Children().empty()) << "a process was left running";
        const std::vector<Packet> sent = Packets(300);
        ASSERT_EQ(sent.size(), 1u);
        ExpectTheReport(sent[0]);
    }
}

TEST_F(IgmpReportAsNobody, RefusesAnythingButAReportOnALocalCard) {
    const QString helper = Copy("kestrel-igmp-report", Privilege::FileCapability);
    ASSERT_FALSE(helper.isEmpty());
    const struct {
        std::vector<std::string> args;
        std::string why; // found in standard error
    } cases[] = {
        {{"198.18.1.1", "kws0"}, "'198.18.1.1' is not a multicast group"},
        {{"255.255.255.255", "kws0"}, "is not a multicast group"},
        {{"224.0.0.1", "kws0"}, "'224.0.0.1' is a local network control group"},
        {{"239.255.255.250", "kag0"}, "network card 'kag0' has no IPv4 address"},
        {{"239.255.255.250", "lo"}, "network card 'lo' does not carry multicast"},
        {{"239.255.255.250", "kws9"}, "no network card named 'kws9'"},
        {{"239.255.255.250"}, "expects a multicast group and a network card"},
        {{}, "expects a multicast group and a network card"},
        {{"239.255.255.250", "kws0", "kws0"}, "expects a multicast group and a network card"},
        {{"--frobnicate"}, "unknown option '--frobnicate'"},
    };
    Packets(50);
    for (const auto& c : cases) {
        std::string args;
        for (const std::string& a : c.args)
            args += "[" + a + "]";
        SCOPED_TRACE(args);
        const Outcome run = RunAsNobody(helper, Privilege::FileCapability, c.args);
        EXPECT_EQ(run.exit_code, 2);
        EXPECT_NE(run.err.find(c.why), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.descriptors, 0);
    }
    EXPECT_TRUE(Packets(300).empty());
    EXPECT_TRUE(Children().empty());
}

TEST_F(IgmpReportAsNobody, WithoutItsPrivilegeItSendsNothingAndSaysSo) {
    const QString plain = Copy("kestrel-igmp-report", Privilege::None);
    const QString capable = Copy("kestrel-igmp-report", Privilege::FileCapability);
    ASSERT_FALSE(plain.isEmpty() || capable.isEmpty());
    const struct {
        const char* what;
        const QString& helper;
        std::vector<std::string> args;
        int exit_code;
        std::string err; // found in standard error; empty: nothing there
    } cases[] = {
        {"a report", plain, {"239.255.255.250", "kws0"}, 3, "cannot open a raw IGMP socket"},
        {"the check", plain, {"--check"}, 3, "cannot open a raw IGMP socket"},
        {"the check with the capability", capable, {"--check"}, 0, ""},
    };
    Packets(50);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome run = RunAsNobody(c.helper, Privilege::None, c.args);
        EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
        if (c.err.empty()) {
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        }
        EXPECT_EQ(run.descriptors, 0);
    }
    EXPECT_TRUE(Packets(300).empty());
}

// What the helper does before it reads a single argument, run the same ways
// with a probe that prints what is left afterwards.
TEST_F(IgmpReportAsNobody, GivesUpEveryPrivilegeBeforeReadingItsArguments) {
    for (const Way& way : kWays) {
        SCOPED_TRACE(way.name);
        const QString probe = Copy("igmp_report_privilege_probe", way.privilege);
        ASSERT_FALSE(probe.isEmpty());
        const Outcome run = RunAsNobody(probe, way.privilege, {});
        ASSERT_EQ(run.exit_code, 0) << run.err;
        std::map<std::string, std::string> left;
        std::istringstream lines(run.out);
        std::string line;
        while (std::getline(lines, line)) {
            const std::size_t split = line.find(':');
            if (split == std::string::npos)
                continue;
            std::string value = line.substr(split + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            value.erase(value.find_last_not_of(" \t") + 1);
            left[line.substr(0, split)] = value;
        }
        EXPECT_EQ(left["socket"], "1") << "it had no privilege to give up";
        EXPECT_EQ(left["dropped"], "1");
        EXPECT_EQ(left["Uid"], "65534\t65534\t65534\t65534");
        EXPECT_EQ(left["Gid"], "65534\t65534\t65534\t65534");
        EXPECT_EQ(left["Groups"], "");
        for (const char* set : {"CapInh", "CapPrm", "CapEff", "CapAmb"})
            EXPECT_EQ(left[set], "0000000000000000") << set;
        EXPECT_EQ(left["NoNewPrivs"], "1");
        EXPECT_EQ(left["raw socket again"], "Operation not permitted");
        EXPECT_TRUE(Children().empty());
    }
}

} // namespace
