#include "switchyard.h"

CSwitchyardApp::CSwitchyardApp(int& argc, char** argv) : QApplication(argc, argv) {}

int CSwitchyardApp::Run() { return 0; }
