#include <cstring>

#include "migration.h"

namespace Zentrel {

Variant SelectVariant(int argc, const char* const* argv) noexcept {
    if (argc != 2 || argv == nullptr || argv[1] == nullptr) {
        return Variant::kNone;
    }
    if (std::strcmp(argv[1], "QX_NWTWAIN") == 0) {
        return Variant::kNetwork;
    }
    if (std::strcmp(argv[1], "QX_USBTWAIN") == 0) {
        return Variant::kUsb;
    }
    return Variant::kNone;
}

int RunZentrel(int argc, const char* const* argv) noexcept {
    switch (SelectVariant(argc, argv)) {
        case Variant::kNetwork:
            RunNetworkVariant();
            break;
        case Variant::kUsb:
            RunUsbVariant();
            break;
        case Variant::kNone:
            break;
    }
    return 0;
}

}  // namespace Zentrel
