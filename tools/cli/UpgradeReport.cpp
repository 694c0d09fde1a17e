#include "UpgradeReport.h"

#include "FleetResult.h"
#include "WorstExit.h"

namespace kestrel::cli {

namespace {

constexpr int kSkipped = -1;

AgentOutcome AsOutcome(const UpgradeVerdict& v) {
    return {v.target, v.ip, v.mac, v.exit_code == kSkipped ? 0 : v.exit_code, v.message};
}

} // namespace

std::string UpgradeOutcomeWord(int exit_code) {
    return exit_code == kSkipped ? "skipped" : std::string(OutcomeWord(exit_code));
}

QJsonObject UpgradeVerdictJson(const UpgradeVerdict& v) {
    QJsonObject o = OutcomeJson("upgrade", AsOutcome(v));
    o.insert(QStringLiteral("outcome"), QString::fromStdString(UpgradeOutcomeWord(v.exit_code)));
    o.insert(QStringLiteral("image_stored"), v.image_stored);
    o.insert(QStringLiteral("bytes"), static_cast<qint64>(v.bytes));
    return o;
}

std::string UpgradeVerdictLine(const UpgradeVerdict& v) {
    std::string line = OutcomeLine(AsOutcome(v));
    if (v.exit_code == kSkipped) // the line's second word is the outcome
        line.replace(v.target.size() + 2, OutcomeWord(0).size(), "skipped");
    return line;
}

std::string UpgradeSummary(const std::vector<UpgradeVerdict>& verdicts) {
    std::map<int, int> counts; // by severity, so the worst comes last
    std::map<int, int> code_of;
    for (const UpgradeVerdict& v : verdicts) {
        const int severity = v.exit_code < 0 ? 2000 : ExitSeverity(v.exit_code);
        ++counts[severity];
        code_of[severity] = v.exit_code;
    }
    std::string text = "upgrade: " + std::to_string(verdicts.size()) +
                       (verdicts.size() == 1 ? " agent" : " agents");
    const char* separator = ": ";
    for (const auto& [severity, count] : counts) {
        text += separator + std::to_string(count) + " " + UpgradeOutcomeWord(code_of[severity]);
        separator = ", ";
    }
    return text;
}

void PrintUpgradeVerdict(const Output& out, const UpgradeVerdict& verdict) {
    if (out.json())
        out.JsonObjectLine(UpgradeVerdictJson(verdict));
    else
        out.DataLine(UpgradeVerdictLine(verdict));
}

} // namespace kestrel::cli
