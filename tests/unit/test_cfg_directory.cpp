// Which folder holds the program's files, and the user's folder on the first
// start of an installed program.

#include "core/CfgDirectory.h"
#include "core/CfgFirstStart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kestrel;

namespace {

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

TEST(CfgDirectory, FirstOfEnvironmentCfgBesideTheProgramAndTheUserFolder) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    QDir dir(root.path());
    ASSERT_TRUE(dir.mkpath(QStringLiteral("portable/cfg")));
    ASSERT_TRUE(dir.mkpath(QStringLiteral("usr/bin")));
    ASSERT_TRUE(dir.mkpath(QStringLiteral("plain")));
    ASSERT_TRUE(WriteFile(dir.filePath(QStringLiteral("plain/cfg")), "a file, not a folder"));
    const QString home = dir.filePath(QStringLiteral("home/.config"));

    const struct {
        const char* what;
        QString environment;
        QString program_dir;
        QString config_home;
        QString path;
        CfgSource source;
    } cases[] = {
        {"environment first, even beside a cfg folder", dir.filePath(QStringLiteral("mine/")),
         dir.filePath(QStringLiteral("portable")), home, dir.filePath(QStringLiteral("mine")),
         CfgSource::Environment},
        {"portable copy", QString(), dir.filePath(QStringLiteral("portable")), home,
         dir.filePath(QStringLiteral("portable/cfg")), CfgSource::BesideProgram},
        {"installed", QString(), dir.filePath(QStringLiteral("usr/bin")), home,
         home + QStringLiteral("/kestrel-utility"), CfgSource::UserFolder},
        {"a file named cfg is no folder", QString(), dir.filePath(QStringLiteral("plain")), home,
         home + QStringLiteral("/kestrel-utility"), CfgSource::UserFolder},
        {"no home: beside the program", QString(), dir.filePath(QStringLiteral("usr/bin")),
         QString(), dir.filePath(QStringLiteral("usr/bin/cfg")), CfgSource::BesideProgram},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CfgLocation got = ResolveCfgDirectory({.environment = c.environment,
                                                     .program_dir = c.program_dir,
                                                     .config_home = c.config_home});
        EXPECT_EQ(got.path, c.path);
        EXPECT_EQ(got.source, c.source);
    }
}

TEST(CfgDirectory, ThisProcessFollowsKestrelCfgDir) {
    QTemporaryDir cfg;
    ASSERT_TRUE(cfg.isValid());
    qputenv("KESTREL_CFG_DIR", cfg.path().toLocal8Bit());
    EXPECT_EQ(GetCfgDirectory(), QDir::cleanPath(cfg.path()));
    qunsetenv("KESTREL_CFG_DIR");
    // The tests sit in the build tree's bin, beside the shipped cfg.
    EXPECT_EQ(CurrentCfgLocation().source, CfgSource::BesideProgram);
    EXPECT_EQ(GetCfgDirectory(),
              QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/cfg")));
}

class FirstStart : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        ASSERT_TRUE(QDir(root_.path()).mkpath(QStringLiteral("usr/bin")));
        ASSERT_TRUE(QDir(root_.path()).mkpath(QStringLiteral("usr/share/kestrel-utility")));
        ASSERT_TRUE(WriteFile(shipped(), "shipped settings"));
    }
    QString path(const char* relative) const {
        return QDir(root_.path()).filePath(QString::fromUtf8(relative));
    }
    QString shipped() const { return path("usr/share/kestrel-utility/define.ecf"); }
    QTemporaryDir root_;
};

TEST_F(FirstStart, FindsTheShippedFileUnderTheProgramsPrefix) {
    EXPECT_EQ(FindShippedDefineEcf(path("usr/bin")), QDir::cleanPath(shipped()));
}

TEST_F(FirstStart, MakesTheFolderAndCopiesTheShippedFile) {
    const QString folder = path("home/.config/kestrel-utility");
    EXPECT_EQ(PrepareUserCfgFolder(folder, shipped()), QString());
    EXPECT_EQ(ReadFile(folder + QStringLiteral("/define.ecf")), "shipped settings");
    // No temporary is left beside it.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("define.ecf")});
}

TEST_F(FirstStart, KeepsTheUsersOwnFile) {
    const QString folder = path("home/.config/kestrel-utility");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(WriteFile(folder + QStringLiteral("/define.ecf"), "the user's settings"));
    EXPECT_EQ(PrepareUserCfgFolder(folder, shipped()), QString());
    EXPECT_EQ(ReadFile(folder + QStringLiteral("/define.ecf")), "the user's settings");
}

TEST_F(FirstStart, SaysWhyWhenItCannot) {
    ASSERT_TRUE(WriteFile(path("home"), "a file where the folder should be"));
    const struct {
        const char* what;
        QString folder;
        QString shipped;
        const char* says;
    } cases[] = {
        {"folder cannot be made", path("home/.config/kestrel-utility"), shipped(),
         "Cannot create the folder"},
        {"nothing shipped", path("other/kestrel-utility"), QString(),
         "No define.ecf was installed"},
        {"shipped file unreadable", path("third/kestrel-utility"), path("usr/share/none.ecf"),
         "Cannot read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString problem = PrepareUserCfgFolder(c.folder, c.shipped);
        EXPECT_TRUE(problem.startsWith(QString::fromUtf8(c.says))) << problem.toStdString();
        EXPECT_FALSE(QFile::exists(c.folder + QStringLiteral("/define.ecf")));
    }
}

} // namespace
