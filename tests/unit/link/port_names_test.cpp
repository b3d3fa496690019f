#include "link/port_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

namespace korvex::link {
namespace {

namespace fs = std::filesystem;

EnvLookup FakeEnvironment(std::map<std::string, std::string> values) {
  return [values = std::move(values)](const std::string& name) -> std::optional<std::string> {
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  };
}

TEST(ComPortNames, ResolveThroughTheEnvironmentOrTtyS) {
  const EnvLookup env = FakeEnvironment({{"KORVEX_COM3", "/tmp/panel-pty"}});
  EXPECT_EQ(ResolveComPort(3, env), "/tmp/panel-pty");
  EXPECT_EQ(ResolveComPort(1, env), "/dev/ttyS0");
  EXPECT_EQ(ResolveComPort(12, nullptr), "/dev/ttyS11");
  EXPECT_EQ(ResolvePortName("COM3", env), "/tmp/panel-pty");
  EXPECT_EQ(ResolvePortName("/dev/ttyUSB0", env), "/dev/ttyUSB0");
  EXPECT_EQ(ResolvePortName("com3", env), "com3");

  for (const char* notCom : {"COM0", "COM256", "COM03", "COM", "COM1x", "com1"}) {
    EXPECT_FALSE(ComNumberOfName(notCom).has_value()) << notCom;
  }
  EXPECT_EQ(ComNumberOfName("COM255"), 255);
}

// A made-up /sys/class/tty, /dev and /dev/serial/by-id.
class FakeMachine : public ::testing::Test {
 protected:
  FakeMachine() {
    root = fs::temp_directory_path() /
           ("korvex_ports_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root);
    fs::create_directories(root / "sys" / "devices");
    fs::create_directories(root / "dev" / "serial" / "by-id");
    sources.sysClassTty = root / "sys" / "class" / "tty";
    sources.devDir = root / "dev";
    sources.byIdDir = root / "dev" / "serial" / "by-id";
    fs::create_directories(sources.sysClassTty);
  }
  ~FakeMachine() override { fs::remove_all(root); }

  void Tty(const std::string& name, bool device, std::optional<std::string> type = std::nullopt) {
    const fs::path dir = sources.sysClassTty / name;
    fs::create_directories(dir);
    if (device) fs::create_directory_symlink(root / "sys" / "devices", dir / "device");
    if (type) std::ofstream(dir / "type") << *type << "\n";
  }

  std::vector<std::string> Names(const std::vector<PortInfo>& ports) {
    std::vector<std::string> names;
    for (const PortInfo& port : ports) names.push_back(port.name);
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path root;
  PortListSources sources;
};

TEST_F(FakeMachine, ListsRealSerialDevicesOnly) {
  Tty("ttyS0", true, "4");  // a 16550A
  Tty("ttyS1", true, "0");  // a legacy slot without a UART
  Tty("ttyS2", true);       // no type attribute: nothing known behind it
  Tty("ttyUSB0", true);     // a USB adapter
  Tty("ttyACM0", true);
  Tty("tty5", false);  // a virtual console
  Tty("ptmx", false);
  const std::string dev = sources.devDir.string();
  EXPECT_EQ(Names(ListPosixPorts(sources)),
            (std::vector<std::string>{dev + "/ttyACM0", dev + "/ttyS0", dev + "/ttyUSB0"}));
}

TEST_F(FakeMachine, DescribesPortsFromByIdAndAddsEnvironmentPorts) {
  Tty("ttyUSB0", true);
  fs::create_symlink("../../ttyUSB0", sources.byIdDir / "usb-FTDI_FT232R_A600-if00-port0");
  std::ofstream(root / "pty7").put('x');
  sources.env = FakeEnvironment({{"KORVEX_COM5", (root / "pty7").string()},
                                 {"KORVEX_COM6", (root / "gone").string()},
                                 {"KORVEX_COM1", (sources.devDir / "ttyUSB0").string()}});
  std::vector<PortInfo> ports = ListPosixPorts(sources);
  std::sort(ports.begin(), ports.end(),
            [](const PortInfo& a, const PortInfo& b) { return a.name < b.name; });
  ASSERT_EQ(ports.size(), 2u);  // the missing device is left out, the mapped one listed once
  EXPECT_EQ(ports[0].name, (sources.devDir / "ttyUSB0").string());
  EXPECT_EQ(ports[0].description, "usb-FTDI_FT232R_A600-if00-port0");
  EXPECT_EQ(ports[1].name, (root / "pty7").string());
  EXPECT_EQ(ports[1].description, "KORVEX_COM5");
}

TEST_F(FakeMachine, AsksWhetherThisUserMayOpenEachListedPort) {
  Tty("ttyUSB0", true);
  Tty("ttyUSB1", true);
  std::ofstream(root / "pty7").put('x');
  sources.env = FakeEnvironment({{"KORVEX_COM5", (root / "pty7").string()}});
  const fs::path denied = sources.devDir / "ttyUSB1";
  sources.mayOpen = [&](const fs::path& device) { return device != denied; };
  for (const PortInfo& port : ListPosixPorts(sources)) {
    EXPECT_EQ(port.mayOpen, port.name != denied.string()) << port.name;
  }
}

TEST_F(FakeMachine, MissingDirectoriesGiveAnEmptyList) {
  sources.sysClassTty = root / "nothing";
  sources.byIdDir = root / "nothing";
  EXPECT_TRUE(ListPosixPorts(sources).empty());
}

}  // namespace
}  // namespace korvex::link
