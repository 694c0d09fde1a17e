#include "switchyard.h"

#include "QtNotifier.h"
#include "core/CfgDirectory.h"
#include "switchyardDlg.h"

#include <QPushButton>
#include <QTimer>

namespace {

// For screenshots: KESTREL_SCREENSHOT=file.png presses Discovery, grabs the
// window into the file once the agents have had time to answer, and closes
// it the ordinary way.
void ArrangeScreenshot(CSwitchyardDlg& window) {
    const QString path = qEnvironmentVariable("KESTREL_SCREENSHOT");
    if (path.isEmpty())
        return;
    QTimer::singleShot(300, &window, [&window] {
        for (QPushButton* button : window.findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("Discovery"))
                button->click();
        }
    });
    QTimer::singleShot(3000, &window, [&window, path] {
        window.grab().save(path);
        window.close();
    });
}

} // namespace

CSwitchyardApp::CSwitchyardApp(int& argc, char** argv) : QApplication(argc, argv) {}

int CSwitchyardApp::Run() {
    QtNotifier notifier;
    // Found once; the window and everything in it use this folder.
    const kestrel::CfgLocation cfg = kestrel::CurrentCfgLocation();
    // The window prepares the user's folder first.
    CSwitchyardDlg window(notifier, cfg);
    ArrangeScreenshot(window);
    window.exec(); // the result does not matter: every way out ends the program
    return 0;
}
