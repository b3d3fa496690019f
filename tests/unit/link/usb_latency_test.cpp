// The low-latency request through a fake driver, the adapter's timer from a fake sysfs tree,
// the note for the operator, and that a pseudo-terminal opens exactly as before.
#include "link/usb_latency.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/firmware_files.h"

#ifndef _WIN32
#include "link/posix_serial_device.h"
#include "support/pseudo_terminal.h"
#endif

namespace korvex::link {
namespace {

#ifdef __linux__
// A driver that keeps its flags, may refuse either call, and counts the set calls.
struct FakeDriver {
  int flags = 0;
  bool refuseGet = false;
  bool refuseSet = false;
  int sets = 0;

  SerialInfoCalls Calls() {
    return {[this](int, serial_struct& info) {
              if (refuseGet) return -1;
              info.flags = flags;
              return 0;
            },
            [this](int, const serial_struct& info) {
              ++sets;
              if (refuseSet) return -1;
              flags = info.flags;
              return 0;
            }};
  }
};

TEST(LowLatencyTest, SetsTheFlagKeepsTheOthersAndToleratesRefusal) {
  struct Case {
    const char* name;
    int flags;
    bool refuseGet;
    bool refuseSet;
    bool result;
    int flagsAfter;
    int sets;
  };
  const int other = ASYNC_SPD_HI;
  for (const Case& c : {
           Case{"plain driver", other, false, false, true, other | ASYNC_LOW_LATENCY, 1},
           Case{"already low latency", ASYNC_LOW_LATENCY, false, false, true, ASYNC_LOW_LATENCY, 0},
           Case{"no serial info (pseudo-terminal)", other, true, false, false, other, 0},
           Case{"flag refused", other, false, true, false, other, 1},
       }) {
    FakeDriver driver{c.flags, c.refuseGet, c.refuseSet};
    EXPECT_EQ(RequestLowLatency(3, driver.Calls()), c.result) << c.name;
    EXPECT_EQ(driver.flags, c.flagsAfter) << c.name;
    EXPECT_EQ(driver.sets, c.sets) << c.name;
  }
}
#endif

class FakeSysfs : public ::testing::Test {
 protected:
  std::filesystem::path Tty() const { return dir.Path() / "class" / "tty"; }
  void AddDevice(const std::string& tty, const std::string& timerText) {
    const std::filesystem::path device = Tty() / tty / "device";
    std::filesystem::create_directories(device);
    if (!timerText.empty()) std::ofstream(device / "latency_timer") << timerText;
  }
  testing::TempDir dir;
};

TEST_F(FakeSysfs, ReadsTheAdapterTimerWhereOneExists) {
  AddDevice("ttyUSB0", "16\n");
  AddDevice("ttyUSB1", "1\n");
  AddDevice("ttyS0", "");
  AddDevice("ttyUSB2", "fast\n");
  EXPECT_EQ(AdapterLatencyTimerMs(Tty(), "/dev/ttyUSB0"), 16);
  EXPECT_EQ(AdapterLatencyTimerMs(Tty(), "/dev/ttyUSB1"), 1);
  EXPECT_EQ(AdapterLatencyTimerMs(Tty(), "/dev/ttyS0"), std::nullopt);
  EXPECT_EQ(AdapterLatencyTimerMs(Tty(), "/dev/ttyUSB2"), std::nullopt);
  EXPECT_EQ(AdapterLatencyTimerMs(Tty(), "/dev/ttyACM7"), std::nullopt);
}

TEST_F(FakeSysfs, FollowsALinkToTheDevice) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need a privilege on Windows; the sysfs tree is Linux's";
#endif
  AddDevice("ttyUSB3", "16");
  const std::filesystem::path target = dir.Path() / "ttyUSB3";
  std::ofstream(target).put('x');
  const std::filesystem::path byId = dir.Path() / "usb-FTDI_Cable_A12345-if00-port0";
  std::filesystem::create_symlink(target, byId);
  EXPECT_EQ(AdapterLatencyTimerMs(Tty(), byId.string()), 16);
}

TEST(LatencyNoteTest, SaysTheCostAndTheFix) {
  const std::string note = LatencyNote("/dev/ttyUSB0", 16);
  EXPECT_NE(note.find("16 ms"), std::string::npos) << note;
  EXPECT_NE(note.find("about 32 s"), std::string::npos) << note;
  EXPECT_NE(note.find(kLatencyRuleFile), std::string::npos) << note;
  EXPECT_NE(note.find("/sys/bus/usb-serial/devices/ttyUSB0/latency_timer"), std::string::npos)
      << note;
}

#ifndef _WIN32
TEST(PseudoTerminalLatencyTest, APseudoTerminalOpensAsBeforeAndHasNoTimer) {
  testing::PseudoTerminal pty;
  ASSERT_TRUE(pty.Ok());
  PosixSerialDevice device{PortListSources{}};
  ASSERT_TRUE(device.Open(pty.Path(), 115200, 'N').Ok());
  EXPECT_EQ(device.Latency(), std::nullopt);
  // The refused low-latency request left the line as the opening alone sets it.
  const termios after = pty.Settings();
  EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B115200));
}
#endif

}  // namespace
}  // namespace korvex::link
