#include "colour_scheme.h"

namespace tarvex::colour_scheme {

// Linux desktops hand a high-contrast scheme to Qt as its palette (qt6ct, KDE); there
// is no switch of their own that Qt 6.4 reads.
bool systemHighContrast() {
    return false;
}

} // namespace tarvex::colour_scheme
