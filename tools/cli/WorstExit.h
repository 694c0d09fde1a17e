#pragma once
// Several agents, one exit status: the worst agent's. Worst is the highest
// severity: an interrupt (130) above all, then a usage error (1), then a
// local failure (2: this computer's side is broken, nothing could work),
// then the agents' outcomes from the one that got furthest before failing
// (8, not back after the transfer) down to the one refused before anything
// was sent (3), then success (0).

namespace kestrel::cli {

int ExitSeverity(int code);

class WorstExit {
public:
    void Add(int code);
    int code() const { return code_; }
    bool failed() const { return code_ != 0; }

private:
    int code_ = 0;
};

} // namespace kestrel::cli
