#include "app/FileCommands.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kestrel;

namespace {

QString ProposedName(QFileDialog& dialog) {
    const auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    return edit ? edit->text() : QStringLiteral("<no name box>");
}

TEST(MonitorFileDialogs, AreSetUpAsTheCommandsNeed) {
    QTemporaryDir cfg;
    ASSERT_TRUE(cfg.isValid());

    struct Case {
        MonitorFileDialog kind;
        const char* title;
        QFileDialog::AcceptMode accept;
        QFileDialog::FileMode mode;
        const char* proposed;
        const char* suffix;
    };
    const Case cases[] = {
        {MonitorFileDialog::SaveAs, "Save As", QFileDialog::AcceptSave, QFileDialog::AnyFile,
         "*.cfg", "cfg"},
        {MonitorFileDialog::Load, "Open", QFileDialog::AcceptOpen, QFileDialog::ExistingFile,
         "monitor.cfg", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const auto dialog = MakeMonitorFileDialog(nullptr, c.kind, cfg.path());
        EXPECT_EQ(dialog->windowTitle(), QString::fromLatin1(c.title));
        EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("config File (*.cfg)")});
        EXPECT_EQ(dialog->acceptMode(), c.accept);
        EXPECT_EQ(dialog->fileMode(), c.mode);
        EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(dialog->defaultSuffix(), QString::fromLatin1(c.suffix));
        EXPECT_EQ(dialog->directory().absolutePath(), QDir(cfg.path()).absolutePath());
        EXPECT_EQ(ProposedName(*dialog), QString::fromLatin1(c.proposed));
    }
}

} // namespace
