// kestrel-cli serve end to end inside scripts/lan: simulated agents, the
// service as a process, and a real Prometheus server that scrapes it; the
// test asks Prometheus what it saw and compares with the simulator's truth.

#include "SimProcess.h"
#include "app/switchyardDlg.h"
#include "protocol/lists/ListCommands.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"
#include "protocol/wire/DeviceRecord.h"
#include "protocol/wire/Ipv4Text.h"
#include "support/FakeNotifier.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kMetricsPort = 19823; // the default: each test has its own namespace
constexpr int kPrometheusPort = 9090;

std::string AgentIp(int n) {
    return "198.18.1." + std::to_string(n);
}

struct HttpAnswer {
    int status = 0;
    std::string body;
};

// One GET, with the event loop running meanwhile.
HttpAnswer Get(const QUrl& url, int timeout_ms = 3000) {
    static QNetworkAccessManager* manager = new QNetworkAccessManager;
    QNetworkRequest request(url);
    request.setTransferTimeout(timeout_ms);
    QNetworkReply* reply = manager->get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    HttpAnswer answer{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                      reply->readAll().toStdString()};
    reply->deleteLater();
    return answer;
}

void Pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Polls until done() holds or the time is up; true when it held.
bool Eventually(const std::function<bool()>& done, int timeout_ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout_ms)
            return false;
        Pause(250);
    }
    return true;
}

class ServiceLanTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cfg.isValid());
        ASSERT_TRUE(kestrel::CreateSettingsFile(Path("define.ecf"), kestrel::DefaultSettings()));
    }
    void TearDown() override {
        if (HasFailure()) {
            std::fprintf(stderr, "service stderr:\n%s\n", ServiceErr().c_str());
            if (prometheus.state() != QProcess::NotRunning)
                std::fprintf(stderr, "prometheus:\n%s\n",
                             prometheus.readAllStandardError().right(3000).toStdString().c_str());
        }
        for (QProcess* p : {&service, &prometheus})
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(3000);
            }
    }

    std::string Path(const char* name) const {
        return cfg.filePath(QString::fromLatin1(name)).toStdString();
    }

    // monitor.cfg as the Remote IP dialog leaves it: address only.
    void WriteMonitor(const std::vector<int>& agents) {
        std::string bytes;
        for (const int n : agents) {
            const auto r = kestrel::ReadRemoteAddress(*kestrel::ParseIpv4(AgentIp(n))).record;
            ASSERT_TRUE(r.has_value());
            const auto b = kestrel::RecordBytes(*r);
            bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
        }
        QFile f(QString::fromStdString(Path("monitor.cfg")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }

    static QString Cli() {
        return qEnvironmentVariable("KESTREL_BIN_DIR") + QStringLiteral("/kestrel-cli");
    }
    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KESTREL_CFG_DIR"), cfg.path());
        env.remove(QStringLiteral("JOURNAL_STREAM")); // the standard-error form
        env.remove(QStringLiteral("NOTIFY_SOCKET"));
        return env;
    }

    // Starts the service and waits for its "watching" line.
    void StartService(QProcess& p, QStringList extra = {}) {
        p.setProcessEnvironment(Environment());
        p.start(Cli(), QStringList{QStringLiteral("serve"), QStringLiteral("--refresh"),
                                   QStringLiteral("1")} +
                           extra);
        ASSERT_TRUE(p.waitForStarted(5000));
        ASSERT_TRUE(Eventually(
            [&] {
                err_ += p.readAllStandardError().toStdString();
                return err_.find("info: watching") != std::string::npos ||
                       p.state() == QProcess::NotRunning;
            },
            10000));
        ASSERT_NE(err_.find("info: watching"), std::string::npos) << err_;
    }
    std::string ServiceErr() {
        err_ += service.readAllStandardError().toStdString();
        return err_;
    }

    void StartPrometheus() {
        const QString exe = QStandardPaths::findExecutable(QStringLiteral("prometheus"));
        ASSERT_FALSE(exe.isEmpty()) << "prometheus is not installed (Debian: prometheus)";
        QFile config(cfg.filePath(QStringLiteral("prometheus.yml")));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("global:\n"
                     "  scrape_interval: 1s\n"
                     "  evaluation_interval: 1s\n"
                     "scrape_configs:\n"
                     "  - job_name: kestrel\n"
                     "    scrape_interval: 1s\n"
                     "    scrape_timeout: 1s\n"
                     "    static_configs:\n"
                     "      - targets: ['127.0.0.1:" +
                     QByteArray::number(kMetricsPort) + "']\n");
        config.close();
        prometheus.setProcessChannelMode(QProcess::SeparateChannels);
        prometheus.start(
            exe,
            {QStringLiteral("--config.file=") + config.fileName(),
             QStringLiteral("--storage.tsdb.path=") + cfg.filePath(QStringLiteral("tsdb")),
             QStringLiteral("--web.listen-address=127.0.0.1:") + QString::number(kPrometheusPort)});
        ASSERT_TRUE(prometheus.waitForStarted(5000));
        ASSERT_TRUE(Eventually(
            [&] {
                prometheus.readAllStandardOutput(); // keep the pipes from filling
                return Get(PrometheusUrl(QStringLiteral("/-/ready"))).status == 200;
            },
            30000))
            << "Prometheus did not become ready";
    }
    static QUrl PrometheusUrl(const QString& path) {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(kPrometheusPort).arg(path));
    }

    // An instant query: each series' ip label and value.
    std::map<std::string, double> Query(const QString& promql) {
        QUrl url = PrometheusUrl(QStringLiteral("/api/v1/query"));
        QUrlQuery q;
        q.addQueryItem(QStringLiteral("query"), promql);
        url.setQuery(q);
        const HttpAnswer a = Get(url);
        std::map<std::string, double> out;
        const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(a.body)).object();
        for (const QJsonValue v : doc[QStringLiteral("data")][QStringLiteral("result")].toArray()) {
            const QJsonObject series = v.toObject();
            out[series[QStringLiteral("metric")][QStringLiteral("ip")].toString().toStdString()] =
                series[QStringLiteral("value")].toArray()[1].toString().toDouble();
        }
        return out;
    }
    std::set<std::string> IpsOf(const QString& promql) {
        std::set<std::string> ips;
        for (const auto& [ip, value] : Query(promql))
            ips.insert(ip);
        return ips;
    }

    HttpAnswer Scrape(const QString& path = QStringLiteral("/metrics")) {
        return Get(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(kMetricsPort).arg(path)));
    }

    // SIGTERM, and the time until the process has ended.
    qint64 Terminate(QProcess& p) {
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        if (!p.waitForFinished(5000))
            return -1;
        return clock.elapsed();
    }

    QTemporaryDir cfg;
    kestrel::test::SimProcess sim;
    QProcess service;
    QProcess prometheus;
    std::string err_;
};

// Agents 1-50: 1-5 never answer, 50 flaps by itself, 10-13 fall silent on
// command and 10-11 come back; traps on command from 20-24.
TEST_F(ServiceLanTest, PrometheusSeesTheSimulatorsDownAgentsAndTraps) {
    std::string agents;
    std::vector<int> monitored;
    for (int n = 1; n <= 50; ++n) {
        agents += "ip=" + AgentIp(n) + " iface=" + std::to_string(1 + n % 3);
        if (n == 30)
            agents += " name=\"K\xF6ln\\\"7\" product=\"KS \\\\ 8\"";
        else
            agents += " name=sw-" + std::to_string(n);
        if (n <= 5)
            agents += " silent=1";
        if (n == 50)
            agents += " flap=8";
        agents += "\n";
        monitored.push_back(n);
    }
    WriteMonitor(monitored);
    ASSERT_TRUE(sim.Start({.agents = agents, .count = 0, .args = {}})) << sim.Error();
    StartService(service);
    StartPrometheus();

    // Not the flapping one: its truth changes every 8 s.
    const QString down = QStringLiteral("kestrel_agent_up{ip!=\"198.18.1.50\"} == 0");
    const QString up = QStringLiteral("kestrel_agent_up{ip!=\"198.18.1.50\"} == 1");
    std::set<std::string> never{AgentIp(1), AgentIp(2), AgentIp(3), AgentIp(4), AgentIp(5)};
    EXPECT_TRUE(Eventually([&] { return IpsOf(up).size() == 44 && IpsOf(down) == never; }, 20000))
        << "down: " << IpsOf(down).size() << " up: " << IpsOf(up).size();

    // Agents fall silent on command: declared not alive after three missed
    // polls, at the next alive check.
    for (int n : {10, 11, 12, 13})
        ASSERT_TRUE(sim.Command("silent " + AgentIp(n)));
    std::set<std::string> truth = never;
    for (int n : {10, 11, 12, 13})
        truth.insert(AgentIp(n));
    EXPECT_TRUE(Eventually([&] { return IpsOf(down) == truth; }, 20000))
        << "down: " << IpsOf(down).size();
    for (int n : {10, 11}) {
        ASSERT_TRUE(sim.Command("wake " + AgentIp(n)));
        truth.erase(AgentIp(n));
    }
    EXPECT_TRUE(Eventually([&] { return IpsOf(down) == truth; }, 20000))
        << "down: " << IpsOf(down).size();

    // Traps: counts as the simulator sent them.
    for (int n = 20; n <= 24; ++n)
        for (int k = 0; k < n - 19; ++k)
            ASSERT_TRUE(sim.Command("trap " + AgentIp(n) + " Port " + std::to_string(k) + " up"));
    std::map<std::string, double> sent;
    for (int n = 20; n <= 24; ++n)
        sent[AgentIp(n)] = sim.Count("TRAP " + AgentIp(n) + " ");
    EXPECT_TRUE(Eventually(
        [&] { return Query(QStringLiteral("kestrel_agent_traps_received_total > 0")) == sent; },
        15000));

    // A Latin-1 name with a quote and a product with a backslash reach
    // Prometheus as they were.
    const auto named = Query(QStringLiteral("kestrel_agent_up{system_name=\"K\u00F6ln\\\"7\","
                                            "product=\"KS \\\\ 8\"}"));
    EXPECT_EQ(named.count(AgentIp(30)), 1u) << Scrape().body.substr(0, 3000);

    // The flapping agent was said lost and back, in the standard-error form.
    EXPECT_TRUE(Eventually(
        [&] {
            const std::string err = ServiceErr();
            return err.find("(event=lost ip=198.18.1.50 mac=") != std::string::npos &&
                   err.find("(event=back ip=198.18.1.50 mac=") != std::string::npos;
        },
        30000))
        << ServiceErr();
    EXPECT_NE(ServiceErr().find("warning: Agent 198.18.1.10 is not alive (event=lost "
                                "ip=198.18.1.10 mac="),
              std::string::npos);
    EXPECT_NE(ServiceErr().find("notice: Trap from 198.18.1.24: Port 4 up (event=trap "
                                "ip=198.18.1.24 mac="),
              std::string::npos);

    // promtool's own checks pass on a scrape; only /metrics answers.
    const HttpAnswer scrape = Scrape();
    ASSERT_EQ(scrape.status, 200);
    QProcess promtool;
    promtool.start(QStringLiteral("promtool"),
                   {QStringLiteral("check"), QStringLiteral("metrics")});
    ASSERT_TRUE(promtool.waitForStarted(5000)) << "promtool is not installed (Debian: prometheus)";
    promtool.write(scrape.body.data(), static_cast<qint64>(scrape.body.size()));
    promtool.closeWriteChannel();
    ASSERT_TRUE(promtool.waitForFinished(10000));
    EXPECT_EQ(promtool.exitCode(), 0) << promtool.readAllStandardOutput().toStdString()
                                      << promtool.readAllStandardError().toStdString();
    for (const char* path : {"/", "/metricsx", "/metrics/x", "/api"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Scrape(QString::fromLatin1(path)).status, 404);
    }

    // syslog.log keeps the window's form.
    QFile log(QString::fromStdString(Path("syslog.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const std::string text = log.readAll().toStdString();
    EXPECT_NE(text.find(" 198.18.1.12 Not alive \r\n"), std::string::npos) << text.substr(0, 500);
    EXPECT_NE(text.find(" 198.18.1.22 Trap :Port 1 up\r\n"), std::string::npos)
        << text.substr(0, 500);

    const qint64 ms = Terminate(service);
    EXPECT_GE(ms, 0) << "SIGTERM did not end the service";
    EXPECT_LT(ms, 1000);
    EXPECT_EQ(service.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(service.exitCode(), 0);
}

TEST_F(ServiceLanTest, SighupMakesTheMetricsFollowMonitorCfgWithoutARestart) {
    ASSERT_TRUE(sim.Start({.agents = "", .count = 8, .args = {}})) << sim.Error();
    WriteMonitor({1, 2, 3, 4});
    StartService(service);
    StartPrometheus();
    const QString listed = QStringLiteral("kestrel_agent_up");
    EXPECT_TRUE(Eventually(
        [&] {
            return IpsOf(listed) ==
                   std::set<std::string>{AgentIp(1), AgentIp(2), AgentIp(3), AgentIp(4)};
        },
        15000));
    const qint64 pid = service.processId();

    WriteMonitor({3, 4, 5, 6, 7});
    ::kill(static_cast<pid_t>(pid), SIGHUP);
    const std::set<std::string> after{AgentIp(3), AgentIp(4), AgentIp(5), AgentIp(6), AgentIp(7)};
    EXPECT_TRUE(Eventually(
        [&] {
            return IpsOf(listed) == after &&
                   IpsOf(QStringLiteral("kestrel_agent_up == 1")) == after;
        },
        20000))
        << "listed: " << IpsOf(listed).size();
    EXPECT_TRUE(Eventually(
        [&] {
            return ServiceErr().find("notice: monitor.cfg reloaded: 3 added (198.18.1.5, "
                                     "198.18.1.6, 198.18.1.7), 2 removed (198.18.1.1, "
                                     "198.18.1.2) (event=reload)") != std::string::npos;
        },
        5000))
        << ServiceErr();
    EXPECT_EQ(service.state(), QProcess::Running);
    EXPECT_EQ(service.processId(), pid) << "the same process, not a restart";
    EXPECT_EQ(Query(QStringLiteral("kestrel_monitored_agents")).size(), 1u);
    EXPECT_EQ(Query(QStringLiteral("kestrel_monitored_agents == 5")).size(), 1u);

    // A monitor.cfg that cannot be read leaves the list as it was.
    QFile bad(QString::fromStdString(Path("monitor.cfg")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
    bad.write("not a whole record");
    bad.close();
    ::kill(static_cast<pid_t>(pid), SIGHUP);
    EXPECT_TRUE(Eventually(
        [&] { return ServiceErr().find("the monitor list stays as it was") != std::string::npos; },
        5000))
        << ServiceErr();
    EXPECT_EQ(Scrape().body.find("kestrel_monitored_agents 5\n") != std::string::npos, true);

    const qint64 ms = Terminate(service);
    EXPECT_GE(ms, 0);
    EXPECT_LT(ms, 1000);
    EXPECT_EQ(service.exitCode(), 0);
}

TEST_F(ServiceLanTest, ASecondServiceBesideItExitsTwoNamingTheHolder) {
    WriteMonitor({1});
    StartService(service);
    QProcess second;
    second.setProcessEnvironment(Environment());
    second.start(Cli(), {QStringLiteral("serve"), QStringLiteral("--metrics"),
                         QStringLiteral("127.0.0.1:19824")});
    ASSERT_TRUE(second.waitForFinished(10000)) << "the second one should not run";
    EXPECT_EQ(second.exitCode(), 2);
    const std::string err = second.readAllStandardError().toStdString();
    EXPECT_NE(err.find("held by kestrel-cli (pid " + std::to_string(service.processId()) + ")"),
              std::string::npos)
        << err;
    EXPECT_EQ(service.state(), QProcess::Running);
    // Its own usage errors come before anything opens.
    QProcess wrong;
    wrong.setProcessEnvironment(Environment());
    wrong.start(Cli(), {QStringLiteral("serve"), QStringLiteral("--metrics"),
                        QStringLiteral("localhost:x")});
    ASSERT_TRUE(wrong.waitForFinished(10000));
    EXPECT_EQ(wrong.exitCode(), 1);
    EXPECT_EQ(Terminate(service) >= 0, true);
    EXPECT_EQ(service.exitCode(), 0);
}

TEST_F(ServiceLanTest, TheWindowBesideItSaysTheServiceHoldsThePorts) {
    WriteMonitor({1});
    StartService(service);
    qputenv("KESTREL_CFG_DIR", cfg.path().toLocal8Bit());
    FakeNotifier notifier;
    {
        CSwitchyardDlg window(notifier);
        EXPECT_TRUE(window.endedDuringStartUp());
    }
    qunsetenv("KESTREL_CFG_DIR");
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_NE(notifier.shown[0].text.find("held by kestrel-cli (pid " +
                                          std::to_string(service.processId()) + ")"),
              std::string::npos)
        << notifier.shown[0].text;
    EXPECT_EQ(service.state(), QProcess::Running) << "the service goes on";
    EXPECT_GE(Terminate(service), 0);
    EXPECT_EQ(service.exitCode(), 0);
}

TEST_F(ServiceLanTest, JournalGetsTheEventsWhereAJournalRuns) {
    if (!std::filesystem::exists("/run/systemd/journal/socket") ||
        QStandardPaths::findExecutable(QStringLiteral("journalctl")).isEmpty())
        GTEST_SKIP() << "no systemd journal here (no /run/systemd/journal/socket): the "
                        "standard-error form is checked instead";
    ASSERT_TRUE(sim.Start({.agents = "ip=198.18.1.1\n", .count = 0, .args = {}})) << sim.Error();
    WriteMonitor({1});
    const std::string marker = "kestrel-test-" + std::to_string(::getpid());
    QProcessEnvironment env = Environment();
    env.insert(QStringLiteral("JOURNAL_STREAM"), QStringLiteral("0:0"));
    service.setProcessEnvironment(env);
    service.start(Cli(),
                  {QStringLiteral("serve"), QStringLiteral("--refresh"), QStringLiteral("1")});
    ASSERT_TRUE(service.waitForStarted(5000));
    Pause(2000);
    ASSERT_TRUE(sim.Command("trap 198.18.1.1 " + marker));
    EXPECT_TRUE(Eventually(
        [&] {
            QProcess journal;
            journal.start(QStringLiteral("journalctl"),
                          {QStringLiteral("--no-pager"), QStringLiteral("-o"),
                           QStringLiteral("cat"), QStringLiteral("KESTREL_EVENT=trap"),
                           QStringLiteral("KESTREL_AGENT_IP=198.18.1.1"),
                           QStringLiteral("KESTREL_TRAP_TEXT=") + QString::fromStdString(marker)});
            journal.waitForFinished(5000);
            return journal.readAllStandardOutput().contains(QByteArray::fromStdString(marker));
        },
        15000));
    EXPECT_GE(Terminate(service), 0);
}

} // namespace
