#include "migration.h"

// Runs unattended inside an installer: no output, and exit status 0 whatever happened.
int main(int argc, char* argv[]) {
    return Zentrel::RunZentrel(argc, argv);
}
