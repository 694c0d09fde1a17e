#pragma once

#include <QApplication>

// The application object: runs the main window modally and ends with it.
class CSwitchyardApp : public QApplication {
public:
    CSwitchyardApp(int& argc, char** argv);
    int Run();
};
