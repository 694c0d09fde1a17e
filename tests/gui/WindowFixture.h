#pragma once
// A fresh main window per test, with a recording notifier and a cfg
// directory of its own that holds a valid define.ecf. The window opens the
// program's sockets: tests built on this run inside scripts/lan.

#include "app/switchyardDlg.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"
#include "support/FakeNotifier.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cfg_dir.isValid());
        qputenv("KESTREL_CFG_DIR", cfg_dir.path().toLocal8Bit());
        ASSERT_TRUE(kestrel::CreateSettingsFile(
            QFile::encodeName(CfgFile("define.ecf")).toStdString(), kestrel::DefaultSettings()));
        window = std::make_unique<CSwitchyardDlg>(notifier);
    }
    void TearDown() override {
        window.reset();
        qunsetenv("KESTREL_CFG_DIR");
    }

    template <class T> T* Find(const char* name) {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    QString CfgFile(const char* name) const {
        return QDir(cfg_dir.path()).filePath(QString::fromLatin1(name));
    }

    QTemporaryDir cfg_dir;
    FakeNotifier notifier;
    std::unique_ptr<CSwitchyardDlg> window;
};

// For tests that need the window on screen: shown, exposed, and with
// whatever start-up had to say forgotten.
class ShownWindowFixture : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_FALSE(window->endedDuringStartUp());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        notifier.shown.clear();
    }
};
