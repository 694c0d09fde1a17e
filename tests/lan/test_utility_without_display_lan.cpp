// The window's program refuses a wrong argument with status 2 and a message
// also where there is no display at all (no X, no Wayland, no platform
// chosen), before it would need one.

#include <QProcess>
#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UtilityWithoutDisplay, WrongArgumentsAreRefusedWithStatusTwo) {
    const struct {
        QStringList args;
        std::string err;
    } cases[] = {
        {{QStringLiteral("--bogus")}, "kestrel-utility: unknown option '--bogus'\n"},
        {{QStringLiteral("-x")}, "kestrel-utility: unknown option '-x'\n"},
        {{QStringLiteral("monitor.cfg")}, "kestrel-utility: unexpected argument 'monitor.cfg'\n"},
        // Qt's own options and their values are passed over, not refused.
        {{QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--bogus")},
         "unknown option '--bogus'"},
        {{QStringLiteral("-style=fusion"), QStringLiteral("extra")}, "unexpected argument 'extra'"},
        {{QStringLiteral("--reverse=1")}, "unknown option '--reverse=1'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(env);
        process.start(qEnvironmentVariable("KESTREL_BIN_DIR") + QStringLiteral("/kestrel-utility"),
                      c.args);
        ASSERT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "no abort";
        EXPECT_EQ(process.exitCode(), 2);
        const std::string err = process.readAllStandardError().toStdString();
        EXPECT_NE(err.find(c.err), std::string::npos) << err;
        EXPECT_NE(err.find("Try 'kestrel-utility --help'"), std::string::npos) << err;
        EXPECT_EQ(process.readAllStandardOutput().toStdString(), "");
    }
}

} // namespace
