// The machine's own serial line: termios on POSIX systems, the COM devices on Windows.
#pragma once

#include <memory>

#include "link/serial_device.h"

namespace korvex::link {

std::unique_ptr<SerialDevice> MakeSystemSerialDevice();

}  // namespace korvex::link
