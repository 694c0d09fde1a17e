// kestrel-agent-sim: plays any number of agents on the simulated LAN made by
// scripts/lan. See tools/agent-sim/README.md.

#include "AgentConfig.h"
#include "SimLoop.h"
#include "SimOptionsParse.h"

#include "protocol/wire/Ipv4Text.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

using namespace kestrel::sim;

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--version") {
            std::puts("kestrel-agent-sim " KESTREL_VERSION);
            return 0;
        }
    }
    std::string error;
    const auto cl = ParseCommandLine(args, error);
    if (!cl) {
        std::fprintf(
            stderr, "kestrel-agent-sim: %s\nTry 'kestrel-agent-sim --help' for more information.\n",
            error.c_str());
        return 2;
    }

    std::string config_text;
    if (!cl->config_file.empty()) {
        std::ifstream in(cl->config_file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "kestrel-agent-sim: cannot read %s\n", cl->config_file.c_str());
            return 2;
        }
        std::ostringstream text;
        text << in.rdbuf();
        config_text = text.str();
    }
    AgentList list = BuildAgents(config_text, cl->count, cl->utility_id);
    if (!list.error.empty()) {
        std::fprintf(stderr, "kestrel-agent-sim: %s: %s\n",
                     cl->config_file.empty() ? "agents" : cl->config_file.c_str(),
                     list.error.c_str());
        return 2;
    }

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> report(nullptr, &std::fclose);
    if (!cl->report_file.empty()) {
        report.reset(std::fopen(cl->report_file.c_str(), "w"));
        if (!report) {
            std::fprintf(stderr, "kestrel-agent-sim: cannot write %s\n", cl->report_file.c_str());
            return 2;
        }
    }

    auto agent_socket = UdpEndpoint::Open(cl->sim.AgentPort(), cl->sim.multicast_group, error);
    if (!agent_socket) {
        std::fprintf(stderr, "kestrel-agent-sim: agent port: %s\n", error.c_str());
        return 1;
    }
    auto tftp_socket = UdpEndpoint::Open(cl->tftp_port, std::nullopt, error);
    if (!tftp_socket) {
        std::fprintf(stderr, "kestrel-agent-sim: tftp port: %s\n", error.c_str());
        return 1;
    }

    std::optional<UdpEndpoint> tftp_reply_socket;
    if (cl->tftp_reply_port != 0) {
        tftp_reply_socket = UdpEndpoint::Open(cl->tftp_reply_port, std::nullopt, error);
        if (!tftp_reply_socket) {
            std::fprintf(stderr, "kestrel-agent-sim: tftp reply port: %s\n", error.c_str());
            return 1;
        }
    }

    const std::size_t count = list.agents.size();
    SimLoop loop(std::move(*agent_socket), std::move(*tftp_socket), std::move(tftp_reply_socket),
                 cl->pace_us, cl->keep_running, report.get());
    SimEngine engine(
        cl->sim, std::move(list.agents), [&loop](const std::string& line) { loop.Report(line); },
        NowUs() / 1000);
    std::printf("READY agents=%zu port=%u tftp=%u\n", count, cl->sim.AgentPort(), cl->tftp_port);
    std::fflush(stdout);
    loop.Report("READY agents=" + std::to_string(count));
    loop.Run(engine);
    return 0;
}
