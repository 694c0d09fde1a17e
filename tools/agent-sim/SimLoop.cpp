#include "SimLoop.h"

#include "protocol/wire/Ipv4Text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace kestrel::sim {

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

constexpr int64_t kTickUs = 50000;
// Datagrams taken from one socket before the others get a turn.
constexpr int kBurst = 256;

} // namespace

int64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

SimLoop::SimLoop(UdpEndpoint agent_socket, UdpEndpoint tftp_socket,
                 std::optional<UdpEndpoint> tftp_reply_socket, int pace_us, bool keep_running,
                 std::FILE* report_file)
    : agent_socket_(std::move(agent_socket)), tftp_socket_(std::move(tftp_socket)),
      tftp_reply_socket_(std::move(tftp_reply_socket)), pace_us_(pace_us),
      keep_running_(keep_running), report_file_(report_file) {}

void SimLoop::Report(const std::string& line) {
    log_.push_back(line);
    if (report_file_) {
        std::fputs(line.c_str(), report_file_);
        std::fputc('\n', report_file_);
        std::fflush(report_file_);
    }
}

void SimLoop::ReadStdin(SimEngine& engine) {
    char buffer[4096];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
        stdin_open_ = false;
        if (!keep_running_)
            running_ = false;
        return;
    }
    if (n < 0)
        return;
    stdin_buffer_.append(buffer, static_cast<std::size_t>(n));
    std::size_t nl;
    while (running_ && (nl = stdin_buffer_.find('\n')) != std::string::npos) {
        std::string line = stdin_buffer_.substr(0, nl);
        stdin_buffer_.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "report") {
            for (const std::string& l : log_)
                std::printf("%s\n", l.c_str());
            std::printf("END\n");
            std::fflush(stdout);
            continue;
        }
        if (!engine.OnControlLine(line, NowUs() / 1000))
            running_ = false;
    }
    // A line without end that grows without bound is not a command.
    if (stdin_buffer_.size() > 65536)
        stdin_buffer_.clear();
}

void SimLoop::SendDue(int64_t now_us) {
    if (now_us < retry_at_us_)
        return;
    while (!queue_.empty()) {
        Outgoing& o = queue_.front();
        if (o.paced && now_us < next_paced_us_)
            return;
        UdpEndpoint& tftp = tftp_reply_socket_ ? *tftp_reply_socket_ : tftp_socket_;
        UdpEndpoint& socket = o.channel == Channel::Tftp ? tftp : agent_socket_;
        const int err = socket.Send(o.from, o.to, o.port, o.bytes);
        if (err == EAGAIN || err == ENOBUFS) {
            retry_at_us_ = now_us + 1000;
            return;
        }
        if (err != 0)
            Report("SENDFAIL from=" + FormatIpv4(o.from) + " to=" + FormatIpv4(o.to) + ':' +
                   std::to_string(o.port) + " error=" + std::strerror(err));
        if (o.paced)
            next_paced_us_ = std::max(next_paced_us_, now_us - 2 * pace_us_) + pace_us_;
        queue_.pop_front();
    }
}

int64_t SimLoop::NextWakeUs(int64_t now_us) const {
    int64_t wake = now_us + kTickUs;
    if (!queue_.empty()) {
        int64_t due = queue_.front().paced ? next_paced_us_ : now_us;
        wake = std::min(wake, std::max(due, retry_at_us_));
    }
    return std::max(wake, now_us);
}

void SimLoop::Run(SimEngine& engine) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    int64_t next_tick_us = 0;
    while (running_ && !g_stop) {
        int64_t now = NowUs();
        SendDue(now);
        int64_t wait_us = NextWakeUs(now) - now;
        // Held answers (delay_ms, reorder) wake the loop when due; it never
        // sleeps on them.
        if (const auto due = engine.NextHeldDue())
            wait_us = std::clamp<int64_t>(*due * 1000 - now, 0, wait_us);
        pollfd fds[4] = {{agent_socket_.fd(), POLLIN, 0},
                         {tftp_socket_.fd(), POLLIN, 0},
                         {stdin_open_ ? STDIN_FILENO : -1, POLLIN, 0},
                         {tftp_reply_socket_ ? tftp_reply_socket_->fd() : -1, POLLIN, 0}};
        const timespec timeout{static_cast<time_t>(wait_us / 1000000),
                               static_cast<long>(wait_us % 1000000) * 1000};
        if (ppoll(fds, 4, &timeout, nullptr) < 0 && errno != EINTR)
            break;
        now = NowUs();
        if (fds[0].revents & POLLIN) {
            for (int i = 0; i < kBurst; ++i) {
                auto d = agent_socket_.Receive();
                if (!d)
                    break;
                engine.OnAgentDatagram(d->bytes, d->src, d->src_port, d->dst, now / 1000, d->card);
            }
        }
        if (fds[1].revents & POLLIN) {
            for (int i = 0; i < kBurst; ++i) {
                auto d = tftp_socket_.Receive();
                if (!d)
                    break;
                engine.OnTftpDatagram(d->bytes, d->src, d->src_port, d->dst, now / 1000);
            }
        }
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR))
            ReadStdin(engine);
        if (fds[3].revents & POLLIN) {
            // Nothing is meant to come here: the transfer goes on at the TFTP port.
            for (int i = 0; i < kBurst; ++i) {
                auto d = tftp_reply_socket_->Receive();
                if (!d)
                    break;
                Report("TFTP BAD to-reply-port from=" + FormatIpv4(d->src) + ':' +
                       std::to_string(d->src_port) + " to=" + FormatIpv4(d->dst) +
                       " len=" + std::to_string(d->bytes.size()));
            }
        }
        if (now >= next_tick_us) {
            engine.Tick(now / 1000);
            next_tick_us = now + kTickUs;
        } else {
            engine.ReleaseHeld(now / 1000);
        }
        for (Outgoing& o : engine.TakeOutbox())
            queue_.push_back(std::move(o));
    }
    // What was promised before "quit" still goes out.
    const int64_t deadline = NowUs() + 2000000;
    while (!queue_.empty() && !g_stop && NowUs() < deadline) {
        SendDue(NowUs());
        usleep(static_cast<useconds_t>(std::max<int64_t>(pace_us_, 100)));
    }
}

} // namespace kestrel::sim
