// Test peers for the line: the wholesaler's line codec, scripts, the fake wholesaler on loopback TCP and
// the modem emulator on a pseudo-terminal.
#pragma once

#include "tests/peers/codec.h"
#include "tests/peers/fake_wholesaler.h"
#include "tests/peers/modem_emulator.h"
#include "tests/peers/script.h"
