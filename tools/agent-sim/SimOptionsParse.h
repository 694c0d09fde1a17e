#pragma once
// The command line of kestrel-agent-sim.

#include "SimEngine.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrel::sim {

struct CommandLine {
    SimOptions sim;
    uint32_t utility_id = 0x4B455354;
    int count = 0;
    std::string config_file;
    std::string report_file;
    uint16_t tftp_port = 69;
    uint16_t tftp_reply_port = 0; // 0: TFTP answers leave from tftp_port
    int pace_us = 200;
    bool keep_running = false; // end of standard input does not end the program
};

inline constexpr const char* kUsage =
    "Usage: kestrel-agent-sim [OPTION]...\n"
    "Plays simulated agents on a private test network (see scripts/lan).\n"
    "\n"
    "  --config FILE        agents, one per line (see tools/agent-sim/README.md)\n"
    "  --count N            add N generated agents (198.18.1.1 upward)\n"
    "  --base-port P        ports: P+2 agent port, P+1 traps (default 5010)\n"
    "  --utility-id HEX     utility identifier of the agents (default 4B455354)\n"
    "  --group ADDR         multicast group (default 239.255.255.250)\n"
    "  --workstation ADDR   where traps go when an agent has no trap address\n"
    "                       (default 198.18.0.1)\n"
    "  --trap-port N        trap destination port (default P+1)\n"
    "  --tftp-port N        TFTP server port (default 69)\n"
    "  --tftp-reply-port N  TFTP answers leave from port N, as from an RFC 1350\n"
    "                       transfer port; datagrams to it are reported\n"
    "  --pace-us N          spacing of the many answers to one broadcast (default 200)\n"
    "  --report FILE        write every report line to FILE as it happens\n"
    "  --keep-running       keep running after standard input ends\n"
    "  -h, --help           show this help and exit\n"
    "      --version        show the version and exit\n";

// The options, or an error text.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error);

} // namespace kestrel::sim
