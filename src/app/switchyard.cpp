#include "switchyard.h"

#include "QtNotifier.h"
#include "switchyardDlg.h"

#include <QTimer>

namespace {

// For screenshots: KESTREL_SCREENSHOT=file.png grabs the shown window into
// the file and closes it the ordinary way.
void ArrangeScreenshot(CSwitchyardDlg& window) {
    const QString path = qEnvironmentVariable("KESTREL_SCREENSHOT");
    if (path.isEmpty())
        return;
    QTimer::singleShot(800, &window, [&window, path] {
        window.grab().save(path);
        window.close();
    });
}

} // namespace

CSwitchyardApp::CSwitchyardApp(int& argc, char** argv) : QApplication(argc, argv) {}

int CSwitchyardApp::Run() {
    QtNotifier notifier;
    CSwitchyardDlg window(notifier);
    ArrangeScreenshot(window);
    window.exec(); // the result does not matter: every way out ends the program
    return 0;
}
