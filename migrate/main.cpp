#include "migration.h"
#include "platform.h"
#include "support_log.h"

// Runs unattended inside an installer: no output, and exit status 0 whatever happened.
int main(int argc, char* argv[]) {
    const SupportLog::CRun log("Zentrel", argc, argv);
    Zentrel::CSystemPlatform platform;
    return Zentrel::RunZentrel(argc, argv, platform);
}
