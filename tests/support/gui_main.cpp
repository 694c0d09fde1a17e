// Test entry for widget and end-to-end tests: one QApplication for the whole
// run. These tests open the program's sockets, and joining a multicast group
// alone sends packets, so they refuse to run outside the simulated LAN.
#include <QApplication>
#include <gtest/gtest.h>

#include <net/if.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (if_nametoindex("kws0") == 0) {
        std::fprintf(stderr,
                     "%s: not inside the simulated LAN; run it through scripts/lan "
                     "(ctest does)\n",
                     argv[0]);
        return 2;
    }
    // Headless also when run outside ctest, e.g. by test discovery at build time.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
