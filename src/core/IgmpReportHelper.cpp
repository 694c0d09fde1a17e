#include "IgmpReportHelper.h"

#include "protocol/discovery/IgmpReportStatus.h"
#include "protocol/wire/Ipv4Text.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <memory>
#include <utility>

namespace kestrel {

IgmpReportHelper::IgmpReportHelper(QString program, QObject* parent)
    : QObject(parent), program_(std::move(program)) {}

IgmpReportHelper::~IgmpReportHelper() {
    // Only at the end, and after SIGKILL, so the reaping is immediate.
    for (QProcess* run : findChildren<QProcess*>()) {
        run->disconnect();
        run->kill();
        run->waitForFinished(1000);
    }
}

template <typename Ended> void IgmpReportHelper::Run(const QStringList& arguments, Ended ended) {
    auto* run = new QProcess(this);
    run->setProgram(program_);
    run->setArguments(arguments);
    run->setStandardInputFile(QProcess::nullDevice());
    run->setStandardOutputFile(QProcess::nullDevice());
    // Its complaints go where the program's own go.
    run->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(run, &QProcess::finished, this, [run, ended](int code, QProcess::ExitStatus status) {
        ended(status == QProcess::NormalExit ? code : -1);
        run->deleteLater();
    });
    connect(run, &QProcess::errorOccurred, this, [run, ended](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        ended(-1);
        run->deleteLater();
    });
    run->start();
}

void IgmpReportHelper::Check() {
    if (program_.isEmpty()) {
        Q_EMIT checked(false);
        return;
    }
    Run({QStringLiteral("--check")},
        [this](int status) { Q_EMIT checked(status == kIgmpReportSent); });
}

void IgmpReportHelper::Report(uint32_t group, const std::vector<std::string>& cards) {
    for (QProcess* stale : findChildren<QProcess*>())
        if (stale->state() != QProcess::NotRunning)
            stale->kill();
    if (program_.isEmpty() || cards.empty())
        return;
    struct Round {
        std::size_t running = 0;
        bool sent = false;
        bool no_raw_socket = false;
    };
    auto round = std::make_shared<Round>();
    round->running = cards.size();
    const QString group_text = QString::fromStdString(FormatIpv4(group));
    for (const std::string& card : cards)
        Run({group_text, QString::fromStdString(card)}, [this, round](int status) {
            round->sent = round->sent || status == kIgmpReportSent;
            round->no_raw_socket = round->no_raw_socket || status == kIgmpReportNoRawSocket;
            if (--round->running == 0)
                Q_EMIT reported(round->sent, round->no_raw_socket);
        });
}

QString IgmpReportHelperPath(const QString& program_dir) {
    const QString name = QStringLiteral("kestrel-igmp-report");
    const QString beside = QDir(program_dir).filePath(name);
    if (QFileInfo(beside).isFile())
        return beside;
    return QDir::cleanPath(program_dir + QStringLiteral("/../libexec/kestrel-utility/") + name);
}

} // namespace kestrel
