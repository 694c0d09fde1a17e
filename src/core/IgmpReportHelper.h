#pragma once
// Runs kestrel-igmp-report, the small program the package gives CAP_NET_RAW,
// for a keep-alive without that capability: once to learn whether a report
// can be sent at all, then each period once on each card. It runs beside the
// program (QProcess, never waited for) and tells nothing but its exit status;
// no socket or other descriptor comes back from it.

#include <QObject>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class QProcess;

namespace kestrel {

class IgmpReportHelper : public QObject {
    Q_OBJECT
public:
    // program: the helper's path; empty for none.
    explicit IgmpReportHelper(QString program, QObject* parent = nullptr);
    ~IgmpReportHelper() override;

    const QString& program() const { return program_; }

    // Answers with checked().
    void Check();
    // One report for the group on each card; answers with reported() once
    // every run has ended. Runs of the period before that are still going
    // are ended first.
    void Report(uint32_t group, const std::vector<std::string>& cards);

Q_SIGNALS:
    void checked(bool can_send);
    // sent: on one card at least. no_raw_socket: a run found it may not
    // open its socket (the capability was taken away meanwhile).
    void reported(bool sent, bool no_raw_socket);

private:
    // ended gets the exit status, or -1 when it did not start or was killed.
    template <typename Ended> void Run(const QStringList& arguments, Ended ended);

    QString program_;
};

// Where the helper of a program in program_dir is: beside it (the build
// tree), else in ../libexec/kestrel-utility (an installed program).
QString IgmpReportHelperPath(const QString& program_dir);

} // namespace kestrel
