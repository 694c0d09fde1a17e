// Drives an installed kestrel-utility from outside, as a user would, for the
// install test: loaded into the unchanged program with LD_PRELOAD, it waits
// for the main window, presses Discovery, puts what was found on the monitor
// list, chooses "Monitor save", and after KESTREL_DRIVE_SECONDS closes the
// window. Widgets are found by their labels and accessible names. Every step
// and every message box (answered with OK) is written to the file named by
// KESTREL_DRIVE_REPORT.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>

namespace {

void Note(const QString& line) {
    QFile report(qEnvironmentVariable("KESTREL_DRIVE_REPORT"));
    if (report.open(QIODevice::Append | QIODevice::Text))
        report.write((line + QLatin1Char('\n')).toUtf8());
}

QWidget* MainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QStringLiteral("mainWindow") && w->isVisible())
            return w;
    }
    return nullptr;
}

template <typename T> T* FindByText(QWidget* window, const QString& text) {
    for (T* child : window->findChildren<T*>()) {
        if (child->text() == text)
            return child;
    }
    return nullptr;
}

QTreeWidget* FindList(QWidget* window, const QString& name) {
    for (QTreeWidget* list : window->findChildren<QTreeWidget*>()) {
        if (list->accessibleName() == name)
            return list;
    }
    return nullptr;
}

void AnswerBoxes() {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        Note(QStringLiteral("box: %1: %2").arg(box->windowTitle(), box->text()));
        box->accept();
    }
}

void Drive(QWidget* window) {
    Note(QStringLiteral("shown %1x%2").arg(window->width()).arg(window->height()));
    if (auto* discovery = FindByText<QAbstractButton>(window, QStringLiteral("Discovery")))
        discovery->click();
    QTimer::singleShot(3000, window, [window] {
        QTreeWidget* found = FindList(window, QStringLiteral("Discovery List"));
        const int rows = found ? found->topLevelItemCount() : 0;
        Note(QStringLiteral("discovered %1").arg(rows));
        if (found)
            found->selectAll();
        if (auto* add = FindByText<QAbstractButton>(window, QStringLiteral("Add to monitor list")))
            add->click();
        if (auto* save = FindByText<QAction>(window, QStringLiteral("Monitor save"))) {
            save->trigger();
            Note(QStringLiteral("monitor saved"));
        }
        const int seconds = qEnvironmentVariableIntValue("KESTREL_DRIVE_SECONDS");
        QTimer::singleShot(seconds * 1000, window, [window] {
            Note(QStringLiteral("closing"));
            window->close();
        });
    });
}

void StartDriving() {
    auto* poll = new QTimer(qApp);
    poll->setInterval(100);
    QObject::connect(poll, &QTimer::timeout, qApp, [] {
        static bool driving = false;
        AnswerBoxes();
        if (driving)
            return;
        if (QWidget* window = MainWindow()) {
            driving = true;
            Drive(window);
        }
    });
    poll->start();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(StartDriving)
