#include "resources/StringTable.h"

namespace zandrel::resources {

std::string LoadResString(int id) {
    // The captions keep the menu's "&&" escape for one ampersand.
    switch (id) {
    case 65520: return "Zip Project";
    case 65521: return "Zip && Upload Project";
    case 65522: return "Zip && Email Project";
    default: return {};
    }
}

const char16_t* PackageDescription() { return u"Zandrel"; }

} // namespace zandrel::resources
