#pragma once
// Runs kestrel-agent-sim as a child process for end-to-end tests. Use it only
// inside the simulated LAN (tests made with kestrel_add_lan_test are).
//
//   kestrel::test::SimProcess sim;
//   ASSERT_TRUE(sim.Start({.agents = "ip=198.18.1.1 iface=3 password=x\n", .count = 4}));
//   ... send requests, or drive the utility ...
//   ASSERT_TRUE(sim.Command("silent 198.18.1.1"));      // done when it returns true
//   EXPECT_TRUE(sim.WaitForLine("SET 198.18.1.1 kind=config status=2"));
//
// Every report line of the simulator (see tools/agent-sim/README.md) is read
// from its --report file. The waits keep the Qt event loop running, so a
// utility in the same process goes on receiving while a test waits.

#include <optional>
#include <string>
#include <vector>

#include <QProcess>
#include <QTemporaryDir>

namespace kestrel::test {

class SimProcess {
public:
    struct Options {
        std::string agents;            // text of the agents file
        int count = 0;                 // generated agents after those of the file
        std::vector<std::string> args; // further flags, e.g. {"--base-port", "6010"}
    };

    SimProcess() = default;
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    ~SimProcess(); // quits the simulator

    // Starts the simulator ($KESTREL_BIN_DIR/kestrel-agent-sim) and waits until
    // its sockets are open. False, with Error() telling why, on failure.
    bool Start(const Options& options, int timeout_ms = 10000);
    // Sends one control line and waits until the simulator has carried it out.
    bool Command(const std::string& line, int timeout_ms = 5000);
    // First report line at index from or later that contains text.
    std::optional<std::string> WaitForLine(const std::string& text, int timeout_ms = 5000,
                                           std::size_t from = 0);
    // Report lines so far.
    const std::vector<std::string>& Lines();
    // Number of report lines so far that contain text.
    int Count(const std::string& text);
    // Sends "quit" and waits for the end; kills after the timeout.
    void Stop(int timeout_ms = 5000);

    const std::string& Error() const { return error_; }

private:
    void ReadReport();

    QProcess process_;
    QTemporaryDir dir_;
    std::string report_path_;
    std::vector<std::string> lines_;
    std::string partial_;
    long long offset_ = 0;
    std::string error_;
};

} // namespace kestrel::test
