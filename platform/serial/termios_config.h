// The termios flags a port configuration turns into (raw mode, framing, flow control). Kept apart from the
// port so the framing can be checked on devices that do not keep it (a pseudo-terminal always reports 8 bits
// without parity).
#pragma once

#include "platform/serial/serial_port.h"

#include <termios.h>

namespace morven::platform {

// Raw mode with the data bits, parity, stop bits and handshaking given. `markParity` asks the driver to mark
// bytes received with a parity error (so the port can replace them). Leaves the speed alone.
void MakeRawTermios(termios& t, const SerialSettings& settings, int handshaking, bool markParity);

}  // namespace morven::platform
