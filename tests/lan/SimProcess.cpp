#include "SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace kestrel::test {

namespace {

// Lets the event loop run while a test waits.
void Pause() {
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(2);
}

} // namespace

SimProcess::~SimProcess() {
    Stop();
}

bool SimProcess::Start(const Options& options, int timeout_ms) {
    if (!dir_.isValid()) {
        error_ = "no temporary directory";
        return false;
    }
    const QByteArray bin_dir = qgetenv("KESTREL_BIN_DIR");
    if (bin_dir.isEmpty()) {
        error_ = "KESTREL_BIN_DIR is not set";
        return false;
    }
    const QString config = dir_.filePath(QStringLiteral("agents.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(options.agents.data(), static_cast<qint64>(options.agents.size())) !=
            static_cast<qint64>(options.agents.size())) {
        error_ = "cannot write the agents file";
        return false;
    }
    file.close();
    report_path_ = dir_.filePath(QStringLiteral("report.log")).toStdString();

    QStringList args = {QStringLiteral("--config"), config, QStringLiteral("--report"),
                        QString::fromStdString(report_path_)};
    if (options.count > 0)
        args << QStringLiteral("--count") << QString::number(options.count);
    for (const std::string& a : options.args)
        args << QString::fromStdString(a);

    // The simulator ends with the test, even when the test crashes.
    process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QString::fromLocal8Bit(bin_dir) + QStringLiteral("/kestrel-agent-sim"), args);
    if (!process_.waitForStarted(timeout_ms)) {
        error_ = "cannot start kestrel-agent-sim: " + process_.errorString().toStdString();
        return false;
    }
    if (!WaitForLine("READY", timeout_ms)) {
        error_ = "kestrel-agent-sim did not get ready";
        return false;
    }
    return true;
}

bool SimProcess::Command(const std::string& line, int timeout_ms) {
    if (process_.state() != QProcess::Running)
        return false;
    const std::size_t from = Lines().size();
    const std::string text = line + '\n';
    process_.write(text.data(), static_cast<qint64>(text.size()));
    process_.waitForBytesWritten(timeout_ms);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeout_ms) {
        ReadReport();
        for (std::size_t i = from; i < lines_.size(); ++i) {
            if (lines_[i] == "CTL " + line)
                return true;
            if (lines_[i].starts_with("CTL-ERROR ") && lines_[i].ends_with(": " + line)) {
                error_ = lines_[i];
                return false;
            }
        }
        Pause();
    }
    error_ = "no answer to: " + line;
    return false;
}

std::optional<std::string> SimProcess::WaitForLine(const std::string& text, int timeout_ms,
                                                   std::size_t from) {
    QElapsedTimer timer;
    timer.start();
    while (true) {
        ReadReport();
        for (std::size_t i = from; i < lines_.size(); ++i)
            if (lines_[i].find(text) != std::string::npos)
                return lines_[i];
        if (timer.elapsed() >= timeout_ms)
            return std::nullopt;
        Pause();
    }
}

const std::vector<std::string>& SimProcess::Lines() {
    ReadReport();
    return lines_;
}

int SimProcess::Count(const std::string& text) {
    int n = 0;
    for (const std::string& l : Lines())
        n += l.find(text) != std::string::npos;
    return n;
}

void SimProcess::ReadReport() {
    if (report_path_.empty())
        return;
    QFile file(QString::fromStdString(report_path_));
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset_))
        return;
    const QByteArray more = file.readAll();
    offset_ += more.size();
    partial_.append(more.constData(), static_cast<std::size_t>(more.size()));
    // One pass over what came, then one erase: a flood writes many lines.
    std::size_t start = 0;
    for (std::size_t nl; (nl = partial_.find('\n', start)) != std::string::npos; start = nl + 1)
        lines_.push_back(partial_.substr(start, nl - start));
    partial_.erase(0, start);
}

void SimProcess::Stop(int timeout_ms) {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.write("quit\n");
    process_.waitForBytesWritten(1000);
    if (!process_.waitForFinished(timeout_ms)) {
        process_.kill();
        process_.waitForFinished(1000);
    }
    ReadReport();
}

} // namespace kestrel::test
