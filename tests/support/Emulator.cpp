// placeholder: emulator client (filled in by the emulator work)
#include "tests/support/Emulator.h"
