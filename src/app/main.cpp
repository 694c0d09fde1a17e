#include "app/switchyard.h"

int main(int argc, char* argv[]) {
    CSwitchyardApp app(argc, argv);
    return app.Run();
}
