#pragma once
// The event loop: the agent and TFTP sockets, standard input and the clock,
// around one SimEngine. Answers to one broadcast leave spaced by the pace so
// that a reader of thousands of replies is not flooded.

#include "SimEngine.h"
#include "UdpEndpoint.h"

#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::sim {

class SimLoop {
public:
    // With a reply socket, TFTP answers leave from it, and what arrives there
    // is reported (a client that sends DATA to the port an ACK came from).
    SimLoop(UdpEndpoint agent_socket, UdpEndpoint tftp_socket,
            std::optional<UdpEndpoint> tftp_reply_socket, int pace_us, bool keep_running,
            std::FILE* report_file);

    // The engine reports through Report(); construct it with a callback that
    // forwards there, then hand it over.
    void Run(SimEngine& engine);
    void Report(const std::string& line);

private:
    void ReadStdin(SimEngine& engine);
    void SendDue(int64_t now_us);
    int64_t NextWakeUs(int64_t now_us) const;

    UdpEndpoint agent_socket_;
    UdpEndpoint tftp_socket_;
    std::optional<UdpEndpoint> tftp_reply_socket_;
    int64_t pace_us_;
    bool keep_running_;
    std::FILE* report_file_;
    std::vector<std::string> log_;
    std::deque<Outgoing> queue_;
    int64_t next_paced_us_ = 0;
    int64_t retry_at_us_ = 0;
    std::string stdin_buffer_;
    bool stdin_open_ = true;
    bool running_ = true;
};

// Steady clock.
int64_t NowUs();

} // namespace kestrel::sim
