#include "link/tkvrs.h"

#include <algorithm>
#include <string_view>

#include "shell/integer_text.h"

namespace korvex::link {

namespace {

constexpr std::string_view kComPrefix = "COM";

std::string_view WithoutComPrefix(std::string_view name) {
  if (name.substr(0, kComPrefix.size()) == kComPrefix) name.remove_prefix(kComPrefix.size());
  return name;
}

}  // namespace

bool PortNameGreater(const std::string& a, const std::string& b) {
  const auto na = shell::ParseIntegerText(WithoutComPrefix(a));
  const auto nb = shell::ParseIntegerText(WithoutComPrefix(b));
  if (na && nb) return *na > *nb;
  return a > b;  // byte comparison of the whole names
}

void SortPortNames(std::vector<std::string>& names) {
  const std::size_t n = names.size();
  for (std::size_t p = n; p-- > 0;) {
    for (std::size_t i = 0; i < p; ++i) {
      if (PortNameGreater(names[i], names[i + 1])) std::swap(names[i], names[i + 1]);
    }
  }
}

std::string AcceleratedPortText(const std::string& name, std::string& pool) {
  for (std::size_t k = 0; k < pool.size(); ++k) {
    const std::size_t at = name.find(pool[k]);
    if (at == std::string::npos) continue;
    pool.erase(k, 1);
    std::string text = name;
    text.insert(at, 1, '&');
    return text;
  }
  return name;
}

TKVRS::TKVRS(SerialDevice& device, shell::Clock& clock, shell::MessagePump& messages)
    : device_(device), clock_(clock), messages_(messages) {
  buttons_.push_back({kNoPortText, true, true});
}

void TKVRS::KVinit(bool accelerators) {
  std::vector<PortInfo> ports = device_.ListPorts();
  std::vector<std::string> names;
  names.reserve(ports.size());
  for (const PortInfo& port : ports) names.push_back(port.name);
  SortPortNames(names);
  if (names.size() > static_cast<std::size_t>(kMaxPortCount)) names.resize(kMaxPortCount);

  portNames_ = names;
  portDescriptions_.clear();
  for (const std::string& name : portNames_) {
    auto it = std::find_if(ports.begin(), ports.end(),
                           [&](const PortInfo& port) { return port.name == name; });
    portDescriptions_.push_back(it != ports.end() ? it->description : std::string());
  }

  // The list is rebuilt only between operations; a port still open is closed, not leaked.
  RSdone();

  buttons_.clear();
  selectedPort_.clear();
  std::string pool = kAcceleratorPool;
  buttons_.push_back({accelerators ? kNoPortText : kNoPortTextPlain, true, true});
  for (const std::string& name : portNames_) {
    buttons_.push_back({accelerators ? AcceleratedPortText(name, pool) : name, true, false});
  }
}

bool TKVRS::PortExists(const std::string& name) {
  const std::vector<PortInfo> ports = device_.ListPorts();
  return std::any_of(ports.begin(), ports.end(),
                     [&](const PortInfo& port) { return port.name == name; });
}

void TKVRS::CheckAvail(bool doNotScan) {
  buttons_[0].enabled = true;
  for (int i = 1; i <= PortCount(); ++i) {
    PortButton& button = buttons_[static_cast<std::size_t>(i)];
    if (doNotScan) {
      button.enabled = true;
      continue;
    }
    RSdone();
    button.enabled = OpenPort(PortNames(i), kProbeBitRate, kNoParity);
    ScanPause();
    RSdone();
    ScanPause();
  }
  if (!doNotScan) {
    RSdone();
    ScanPause();
  }
}

void TKVRS::KVdisable() {
  for (PortButton& button : buttons_) button.enabled = false;
}

void TKVRS::PortButtonClick(std::size_t index) {
  if (index >= buttons_.size()) return;
  for (std::size_t i = 0; i < buttons_.size(); ++i) buttons_[i].checked = i == index;
  selectedPort_.clear();
  for (int i = 1; i <= PortCount(); ++i) {
    if (buttons_[static_cast<std::size_t>(i)].checked) selectedPort_ = PortNames(i);
  }
  if (click_) click_();
}

bool TKVRS::OpenPort(const std::string& name, std::uint32_t rate, char parity) {
  if (device_.IsOpen()) RSdone();
  lastOpen_ = device_.Open(name, rate, parity);
  return lastOpen_.Ok();
}

bool TKVRS::RSinitbps(std::uint32_t rate, char parity) {
  txCount_ = 0;
  if (selectedPort_.empty()) return false;
  if (device_.IsOpen() && openPortName_ == selectedPort_ && openRate_ == rate &&
      openParity_ == parity) {
    std::uint8_t b = 0;
    do {
      messages_.ProcessMessages();
    } while (RSread(b));
    return true;
  }
  if (!OpenPort(selectedPort_, rate, parity)) return false;
  openPortName_ = selectedPort_;
  openRate_ = rate;
  openParity_ = parity;
  RSsetDTR();
  RSsetRTS();
  return true;
}

bool TKVRS::RSread(std::uint8_t& b) {
  return device_.IsOpen() && device_.ReadByte(b);
}

bool TKVRS::RSwrite(std::span<const std::uint8_t> bytes) {
  const bool queued = RSadd(bytes);
  return RSflush() && queued;
}

bool TKVRS::RSflush() {
  if (txCount_ == 0) return true;
  if (!device_.IsOpen()) return false;
  const bool written = device_.Write(std::span<const std::uint8_t>(txBuffer_.data(), txCount_));
  txCount_ = 0;
  return written;
}

bool TKVRS::RSadd(std::span<const std::uint8_t> bytes) {
  if (!device_.IsOpen()) return false;
  bool ok = true;
  for (std::uint8_t b : bytes) {
    if (txCount_ == kTxBufferSize) ok = RSflush() && ok;
    txBuffer_[txCount_++] = b;
  }
  return ok;
}

std::uint16_t TKVRS::RSclear(std::uint16_t ms) {
  const auto start = static_cast<std::uint16_t>(clock_.TickMs());
  std::uint16_t passed = 0;
  do {
    std::uint8_t b = 0;
    if (!RSread(b)) {
      messages_.ProcessMessages();
      WaitForInput(static_cast<std::uint32_t>(ms - passed));
    }
    passed = static_cast<std::uint16_t>(clock_.TickMs() - start);
  } while (passed < ms);
  return passed;
}

bool TKVRS::RSgetCTS() {
  return device_.IsOpen() && device_.Cts();
}

void TKVRS::RSsetDTR() {
  if (device_.IsOpen()) device_.SetDtr(true);
}
void TKVRS::RSclrDTR() {
  if (device_.IsOpen()) device_.SetDtr(false);
}
void TKVRS::RSsetRTS() {
  if (device_.IsOpen()) device_.SetRts(true);
}
void TKVRS::RSclrRTS() {
  if (device_.IsOpen()) device_.SetRts(false);
}

void TKVRS::RSdone() {
  device_.Close();
  openPortName_.clear();
  openRate_ = 0;
  openParity_ = '\0';
}

void TKVRS::ScanPause() {
  for (int turn = 0; turn < kScanPauseTurns; ++turn) {
    messages_.ProcessMessages();
    clock_.SleepMs(kScanPauseMs);
  }
  messages_.ProcessMessages();
}

bool TKVRS::WaitForInput(std::uint32_t ms) {
  if (!device_.IsOpen()) {
    clock_.SleepMs(ms);
    return false;
  }
  return device_.WaitForInput(ms);
}

}  // namespace korvex::link
