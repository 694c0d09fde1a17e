#pragma once
// Runs the built kestrel-cli as a process inside scripts/lan against
// simulated agents, with a cfg folder of its own (KESTREL_CFG_DIR).

#include "SimProcess.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct CliRun {
    int exit_code = -1;
    std::string out;
    std::string err;
};

// Output a terminal shows as text: valid UTF-8 with no control character
// but the line feeds that end lines (no ESC, BEL, CR, DEL, no C1 control).
// Empty when so, else what is wrong.
[[maybe_unused]] std::string NotPlainText(const std::string& output) {
    const QString decoded = QString::fromUtf8(output.data(), static_cast<qsizetype>(output.size()));
    if (decoded.toStdString() != output)
        return "not valid UTF-8";
    for (const QChar c : decoded) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\n') || u == 0x7f || (u >= 0x80 && u <= 0x9f))
            return "control character " + std::to_string(u);
    }
    return {};
}

class CliLanTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cfg.isValid());
        kestrel::ProtocolSettings defaults = kestrel::DefaultSettings();
        ASSERT_TRUE(kestrel::CreateSettingsFile(Path("define.ecf"), defaults));
    }
    void TearDown() override {
        if (HasFailure())
            for (const std::string& line : sim.Lines())
                std::fprintf(stderr, "sim: %s\n", line.c_str());
    }

    std::string Path(const char* name) const {
        return cfg.filePath(QString::fromLatin1(name)).toStdString();
    }
    static QString Cli() {
        return qEnvironmentVariable("KESTREL_BIN_DIR") + QStringLiteral("/kestrel-cli");
    }
    QProcessEnvironment Environment(const std::vector<std::string>& extra) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KESTREL_CFG_DIR"), cfg.path());
        env.remove(QStringLiteral("KESTREL_PASSWORD"));
        env.remove(QStringLiteral("KESTREL_NEW_PASSWORD"));
        for (const std::string& e : extra) {
            const auto eq = e.find('=');
            if (eq == std::string::npos) { // a bare name: unset it
                env.remove(QString::fromStdString(e));
                continue;
            }
            env.insert(QString::fromStdString(e.substr(0, eq)),
                       QString::fromStdString(e.substr(eq + 1)));
        }
        return env;
    }
    void Begin(QProcess& p, const std::vector<std::string>& args,
               const std::vector<std::string>& env = {}) const {
        QStringList list;
        for (const std::string& a : args)
            list << QString::fromStdString(a);
        p.setProcessEnvironment(Environment(env));
        p.start(program.isEmpty() ? Cli() : program, list);
        ASSERT_TRUE(p.waitForStarted(5000));
    }
    // Standard input is `input`, or the file input_file when one is named.
    CliRun RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                  const std::string& input = "", int timeout_ms = 60000,
                  const QString& input_file = {}) const {
        QProcess p;
        if (!input_file.isEmpty())
            p.setStandardInputFile(input_file);
        Begin(p, args, env);
        if (!input.empty())
            p.write(input.data(), static_cast<qint64>(input.size()));
        if (input_file.isEmpty())
            p.closeWriteChannel();
        CliRun r;
        if (!p.waitForFinished(timeout_ms)) {
            p.kill();
            p.waitForFinished();
            r.err = "timed out";
            return r;
        }
        r.exit_code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput().toStdString();
        r.err = p.readAllStandardError().toStdString();
        return r;
    }
    void StartSim(const std::string& agents, int count = 0, std::vector<std::string> args = {}) {
        ASSERT_TRUE(sim.Start({.agents = agents, .count = count, .args = std::move(args)}))
            << sim.Error();
    }
    static std::string ReadFile(const std::string& path) {
        QFile f(QString::fromStdString(path));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return f.readAll().toStdString();
    }

    QTemporaryDir cfg;
    kestrel::test::SimProcess sim;
    QString program; // another copy of kestrel-cli to run; empty: the built one
};

} // namespace
