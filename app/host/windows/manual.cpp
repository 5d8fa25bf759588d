// The manual on Windows: the text rendered from the manual page, which the
// zip holds beside tilvaro.exe.
#include "host/manual.h"

const char* manual_hint() { return "tilvaro-manual.txt, beside tilvaro.exe"; }
