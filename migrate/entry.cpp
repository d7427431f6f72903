#include <cstring>

#include "migration.h"

namespace Zentrel {

Variant SelectVariant(int argc, const char* const* argv) noexcept {
    if (argc != 2 || argv == nullptr || argv[1] == nullptr) {
        return Variant::None;
    }
    if (std::strcmp(argv[1], "QX_NWTWAIN") == 0) {
        return Variant::Network;
    }
    if (std::strcmp(argv[1], "QX_USBTWAIN") == 0) {
        return Variant::Usb;
    }
    return Variant::None;
}

int RunZentrel(int argc, const char* const* argv, IMigrationPlatform& platform) noexcept {
    switch (SelectVariant(argc, argv)) {
        case Variant::Network:
            RunNetworkVariant(platform);
            break;
        case Variant::Usb:
            RunUsbVariant(platform);
            break;
        case Variant::None:
            break;
    }
    return 0;
}

}  // namespace Zentrel
