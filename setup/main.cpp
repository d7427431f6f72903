#include "launcher.h"
#include "platform.h"

int main(int argc, char** argv) {
    try {
        const auto platform = SetupLauncher::CreateSystemPlatform();
        SetupLauncher::RunLauncher(*platform, argc, argv);
    } catch (...) {
        // Nothing is ever reported; the exit status is 0 whatever happened.
    }
    return 0;
}
