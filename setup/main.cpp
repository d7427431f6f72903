#include "launcher.h"
#include "platform.h"
#include "support_log.h"

int main(int argc, char** argv) {
    const SupportLog::CRun log("Setup", argc, argv);
    try {
        const auto platform = SetupLauncher::CreateSystemPlatform();
        SetupLauncher::RunLauncher(*platform, argc, argv);
    } catch (...) {
        // Nothing is ever reported; the exit status is 0 whatever happened.
    }
    return 0;
}
