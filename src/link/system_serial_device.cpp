#include "link/system_serial_device.h"

#ifdef _WIN32
#include "link/win32_serial_device.h"
#else
#include "link/posix_serial_device.h"
#endif

namespace korvex::link {

std::unique_ptr<SerialDevice> MakeSystemSerialDevice() {
#ifdef _WIN32
  return std::make_unique<Win32SerialDevice>();
#else
  return std::make_unique<PosixSerialDevice>();
#endif
}

}  // namespace korvex::link
