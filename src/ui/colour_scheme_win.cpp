#include "colour_scheme.h"

#include <windows.h>

namespace tarvex::colour_scheme {

// Asked each time: the user may switch contrast themes while the program runs.
bool systemHighContrast() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof(contrast);
    if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0))
        return false;
    return (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

} // namespace tarvex::colour_scheme
