#ifdef _WIN32

#include "link/win32_serial_device.h"

#include <map>

#include "shell/wide_text.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// The device-class GUIDs are defined (not only declared) where initguid.h comes first.
#include <initguid.h>
//
#include <devguid.h>
#include <setupapi.h>

namespace korvex::link {

namespace {

constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

HANDLE AsHandle(void* h) {
  return static_cast<HANDLE>(h);
}

// All five time-outs 0: reads are issued only for queued bytes, writes return when the bytes
// are handed over.
void SetImmediateTimeouts(HANDLE h) {
  COMMTIMEOUTS timeouts{};
  SetCommTimeouts(h, &timeouts);
}

OpenResult DescribeWin32Failure(DWORD err, const std::string& name) {
  switch (err) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return {OpenError::kBusy, name + " is in use by another program."};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return {OpenError::kMissing, name + " does not exist."};
    default:
      return {OpenError::kOther, "Cannot open " + name + " (error " + std::to_string(err) + ")."};
  }
}

// The friendly names of the present serial ports by port name ("COM7" -> "USB Serial Port
// (COM7)"), as Device Manager shows them.
std::map<std::string, std::string> FriendlyPortNames() {
  std::map<std::string, std::string> names;
  HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return names;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
    HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    wchar_t portName[64] = {};
    DWORD size = sizeof(portName) - sizeof(wchar_t);
    DWORD type = 0;
    const LONG read = RegQueryValueExW(key, L"PortName", nullptr, &type,
                                       reinterpret_cast<BYTE*>(portName), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_SZ) continue;
    wchar_t friendly[256] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                           reinterpret_cast<BYTE*>(friendly),
                                           sizeof(friendly) - sizeof(wchar_t), nullptr)) {
      continue;
    }
    names[shell::Utf8FromWide(portName)] = shell::Utf8FromWide(friendly);
  }
  SetupDiDestroyDeviceInfoList(devices);
  return names;
}

}  // namespace

Win32SerialDevice::~Win32SerialDevice() {
  Close();
}

bool Win32SerialDevice::IsOpen() const {
  return handle_ != nullptr;
}

OpenResult Win32SerialDevice::Open(const std::string& name, std::uint32_t bitRate, char parity) {
  Close();
  const std::string path = "\\\\.\\" + name;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0 /* exclusive */, nullptr,
                         OPEN_EXISTING, FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING, nullptr);
  if (h == INVALID_HANDLE_VALUE) return DescribeWin32Failure(GetLastError(), name);

  SetupComm(h, kDriverQueueBytes, kDriverQueueBytes);
  SetImmediateTimeouts(h);

  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = bitRate;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fTXContinueOnXoff = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fAbortOnError = FALSE;
  dcb.XonLim = 0;
  dcb.XoffLim = 0;
  dcb.ByteSize = 8;
  if (parity == 'E' || parity == 'e') {
    dcb.Parity = EVENPARITY;
  } else if (parity == 'O' || parity == 'o') {
    dcb.Parity = ODDPARITY;
  } else {
    dcb.Parity = NOPARITY;
  }
  dcb.StopBits = ONESTOPBIT;
  SetCommState(h, &dcb);
  SetCommMask(h, 0);
  EscapeCommFunction(h, CLRDTR);
  EscapeCommFunction(h, CLRRTS);

  handle_ = h;
  hasPending_ = false;
  return OpenResult::Success();
}

void Win32SerialDevice::Close() {
  if (handle_ == nullptr) return;
  CloseHandle(AsHandle(handle_));
  handle_ = nullptr;
  hasPending_ = false;
}

std::size_t Win32SerialDevice::QueuedInput() {
  if (handle_ == nullptr) return 0;
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(AsHandle(handle_), &errors, &status)) return hasPending_ ? 1 : 0;
  return status.cbInQue + (hasPending_ ? 1 : 0);
}

bool Win32SerialDevice::ReadByte(std::uint8_t& b) {
  if (handle_ == nullptr) return false;
  if (hasPending_) {
    b = pending_;
    hasPending_ = false;
    return true;
  }
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(AsHandle(handle_), &errors, &status) || status.cbInQue == 0) return false;
  DWORD got = 0;
  std::uint8_t byte = 0;
  if (!ReadFile(AsHandle(handle_), &byte, 1, &got, nullptr) || got != 1) return false;
  b = byte;
  return true;
}

bool Win32SerialDevice::Write(std::span<const std::uint8_t> bytes) {
  if (handle_ == nullptr) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD put = 0;
    const DWORD chunk = static_cast<DWORD>(bytes.size() - done);
    if (!WriteFile(AsHandle(handle_), bytes.data() + done, chunk, &put, nullptr) || put == 0) {
      return false;
    }
    done += put;
  }
  return true;
}

bool Win32SerialDevice::WaitForInput(std::uint32_t timeoutMs) {
  if (handle_ == nullptr) return false;
  if (QueuedInput() > 0) return true;
  if (timeoutMs == 0) return false;
  // A read of one byte that returns as soon as a byte arrives or the time is up; the byte is
  // kept for the next ReadByte. Afterwards reads return at once again.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
  timeouts.ReadTotalTimeoutConstant = timeoutMs;
  SetCommTimeouts(AsHandle(handle_), &timeouts);
  DWORD got = 0;
  std::uint8_t byte = 0;
  const BOOL ok = ReadFile(AsHandle(handle_), &byte, 1, &got, nullptr);
  SetImmediateTimeouts(AsHandle(handle_));
  if (ok && got == 1) {
    pending_ = byte;
    hasPending_ = true;
    return true;
  }
  return false;
}

void Win32SerialDevice::SetDtr(bool on) {
  if (handle_ != nullptr) EscapeCommFunction(AsHandle(handle_), on ? SETDTR : CLRDTR);
}

void Win32SerialDevice::SetRts(bool on) {
  if (handle_ != nullptr) EscapeCommFunction(AsHandle(handle_), on ? SETRTS : CLRRTS);
}

bool Win32SerialDevice::Cts() {
  if (handle_ == nullptr) return false;
  DWORD status = 0;
  if (!GetCommModemStatus(AsHandle(handle_), &status)) return false;
  return (status & MS_CTS_ON) != 0;
}

std::vector<PortInfo> Win32SerialDevice::ListPorts() {
  std::vector<PortInfo> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return ports;
  }
  for (DWORD index = 0;; ++index) {
    char valueName[256];
    DWORD valueNameSize = sizeof(valueName);
    BYTE data[256];
    DWORD dataSize = sizeof(data) - 1;
    DWORD type = 0;
    const LONG result =
        RegEnumValueA(key, index, valueName, &valueNameSize, nullptr, &type, data, &dataSize);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataSize] = 0;
    std::string portName(reinterpret_cast<const char*>(data));
    while (!portName.empty() && portName.back() == '\0') portName.pop_back();
    ports.push_back({portName, valueName});
  }
  RegCloseKey(key);
  // The device's own name where Windows knows one; the driver's device name otherwise.
  const std::map<std::string, std::string> friendly = FriendlyPortNames();
  for (PortInfo& port : ports) {
    if (const auto found = friendly.find(port.name); found != friendly.end()) {
      port.description = found->second;
    }
  }
  return ports;
}

}  // namespace korvex::link

#endif  // _WIN32
