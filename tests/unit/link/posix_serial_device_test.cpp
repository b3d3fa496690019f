#ifndef _WIN32

#include "link/posix_serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <thread>

#include "link/frame.h"
#include "link/link.h"
#include "shell/real_clock.h"
#include "support/pseudo_terminal.h"
#include "support/scripted_operator.h"
#include "update/session_link_host.h"

namespace korvex::link {
namespace {

using Bytes = std::vector<std::uint8_t>;

using Pty = testing::PseudoTerminal;

class PosixLine : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty.Ok()) << "no pseudo-terminal available"; }

  Pty pty;
  PosixSerialDevice device{PortListSources{}};
};

TEST_F(PosixLine, OpensARawLineAtTheGivenRateAndParity) {
  struct Case {
    std::uint32_t rate;
    char parity;
    speed_t speed;
  };
  for (const Case& c :
       {Case{9600, 'N', B9600}, Case{57600, 'E', B57600}, Case{115200, 'o', B115200}}) {
    ASSERT_TRUE(device.Open(pty.Path(), c.rate, c.parity).Ok());
    const termios tio = pty.Settings();
    EXPECT_EQ(cfgetospeed(&tio), c.speed);
    EXPECT_EQ(cfgetispeed(&tio), c.speed);
    // (A pseudo-terminal always reports no parity, whatever was asked for.)
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    device.Close();
  }
  EXPECT_EQ(device.Open(pty.Path(), 12345, 'N').error, OpenError::kBadSettings);
}

TEST_F(PosixLine, ASecondOpeningIsRefusedWhileTheFirstHoldsThePort) {
  ASSERT_TRUE(device.Open(pty.Path(), 9600, 'N').Ok());
  PosixSerialDevice other{PortListSources{}};
  const OpenResult second = other.Open(pty.Path(), 9600, 'N');
  EXPECT_EQ(second.error, OpenError::kBusy);
  EXPECT_NE(second.message.find("in use"), std::string::npos);
  device.Close();
  EXPECT_TRUE(other.Open(pty.Path(), 115200, 'N').Ok());
}

TEST_F(PosixLine, OpenFailuresSayWhatIsWrong) {
  EXPECT_EQ(device.Open("/dev/korvex-no-such-port", 9600, 'N').error, OpenError::kMissing);
  const std::filesystem::path plain =
      std::filesystem::temp_directory_path() / ("korvex_not_a_tty_" + std::to_string(getpid()));
  std::ofstream(plain) << "x";
  EXPECT_EQ(device.Open(plain.string(), 9600, 'N').error, OpenError::kNotSerial);
  EXPECT_FALSE(device.IsOpen());
  std::filesystem::remove(plain);

  struct Case {
    int err;
    OpenError error;
    const char* says;
  };
  for (const Case& c : {Case{EACCES, OpenError::kPermissionDenied, "dialout"},
                        Case{EBUSY, OpenError::kBusy, "in use"},
                        Case{ENOENT, OpenError::kMissing, "does not exist"}}) {
    const OpenResult result = DescribeOpenFailure(c.err, "/dev/ttyUSB0");
    EXPECT_EQ(result.error, c.error);
    EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
    EXPECT_NE(result.message.find("/dev/ttyUSB0"), std::string::npos);
  }
}

TEST_F(PosixLine, ReadsOnlyWhatIsQueued) {
  ASSERT_TRUE(device.Open(pty.Path(), 9600, 'N').Ok());
  std::uint8_t b = 0x42;
  EXPECT_FALSE(device.ReadByte(b));
  EXPECT_EQ(b, 0x42);
  EXPECT_FALSE(device.WaitForInput(0));

  ASSERT_TRUE(pty.Write({0x00, 0xFF, 0x0A, 0x0D}));  // raw: nothing changed or held back
  ASSERT_TRUE(device.WaitForInput(2000));
  Bytes got;
  while (got.size() < 4 && device.WaitForInput(2000)) {
    while (device.ReadByte(b)) got.push_back(b);
  }
  EXPECT_EQ(got, (Bytes{0x00, 0xFF, 0x0A, 0x0D}));
  EXPECT_EQ(device.QueuedInput(), 0u);
  EXPECT_FALSE(device.ReadByte(b));
}

TEST_F(PosixLine, WritesHandEverythingOverInOrder) {
  ASSERT_TRUE(device.Open(pty.Path(), 115200, 'N').Ok());
  // Far more than the terminal buffers: the write must wait for the reader, never cut.
  Bytes big(256 * 1024);
  std::iota(big.begin(), big.end(), 0);
  Bytes received;
  std::thread reader([&] { received = pty.Read(big.size()); });
  EXPECT_TRUE(device.Write(big));
  reader.join();
  EXPECT_EQ(received, big);
}

TEST_F(PosixLine, ModemLinesOfAPseudoTerminalReadAsOff) {
  ASSERT_TRUE(device.Open(pty.Path(), 9600, 'N').Ok());
  device.SetDtr(true);
  device.SetRts(true);
  EXPECT_FALSE(device.Cts());
  EXPECT_TRUE(device.IsOpen());
}

TEST_F(PosixLine, PortComponentReopensAtANewRateAndSendsAFrameWhole) {
  testing::ScriptedOperator op;
  shell::RealClock clock;
  TKVRS kvrs(device, clock, op);
  kvrs.SetSelectedPort(pty.Path());
  ASSERT_TRUE(kvrs.RSinitbps(9600, 'N'));
  termios tio = pty.Settings();
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
  ASSERT_TRUE(kvrs.RSinitbps(115200, 'N'));
  tio = pty.Settings();
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));

  const Bytes frame = EncodeRequestFrame(Bytes(kMaxRequestLength, 0xFF));
  EXPECT_TRUE(kvrs.RSadd(frame));
  EXPECT_TRUE(kvrs.RSflush());
  EXPECT_EQ(pty.Read(frame.size()), frame);
}

TEST_F(PosixLine, TransactTalksToAPanelOverThePseudoTerminal) {
  testing::ScriptedOperator op;
  shell::RealClock clock;
  shell::Session session(op, clock, 1);
  update::SessionLinkHost host(session);
  Link link(host, device);
  link.KVRS().SetSelectedPort(pty.Path());
  ASSERT_TRUE(link.EnsurePortChosen(op));

  // The panel answers a read of n bytes with n bytes derived from the request.
  testing::PanelThread panel(pty.Master(), [](const Bytes& request) {
    const std::size_t count = request[4] == 0 ? 256 : request[4];
    Bytes data(count);
    for (std::size_t i = 0; i < count; ++i) data[i] = static_cast<std::uint8_t>(request[1] + i);
    return EncodeReplyFrame(0x92, data);
  });
  for (int k = 0; k < 20; ++k) {
    const std::uint8_t count = static_cast<std::uint8_t>(k * 13);  // 0 asks for 256
    const RequestWriter request{0x62, static_cast<std::uint8_t>(k), 0x20, 0x01, count};
    const std::optional<ReplyView> reply = link.Transact(request, 4, 1500);
    ASSERT_TRUE(reply) << k;
    EXPECT_EQ(reply->Count(), count);
    EXPECT_EQ(reply->Answer(), 0x92);
    const std::size_t n = count == 0 ? 256 : count;
    EXPECT_EQ(reply->Data(n - 1), static_cast<std::uint8_t>(k + n - 1));
  }
  EXPECT_EQ(panel.Frames(), 20);
}

TEST_F(PosixLine, ASilentPanelEndsTheExchangeUnanswered) {
  testing::ScriptedOperator op;
  shell::RealClock clock;
  shell::Session session(op, clock, 1);
  update::SessionLinkHost host(session);
  Link link(host, device);
  link.KVRS().SetSelectedPort(pty.Path());
  ASSERT_TRUE(link.EnsurePortChosen(op));
  EXPECT_FALSE(link.Transact({0x61, 0x61, 0x61, 0x61}, 2, 60));
  EXPECT_EQ(pty.Read(2 * 10), Bytes({0xFF, 0xFF, 0x01, 0x61, 0x61, 0x61, 0x61, 0x17, 0x78, 0xFF,
                                     0xFF, 0xFF, 0x01, 0x61, 0x61, 0x61, 0x61, 0x17, 0x78, 0xFF}));
}

TEST_F(PosixLine, AHungUpLineEndsWaitsWithoutInput) {
  ASSERT_TRUE(device.Open(pty.Path(), 9600, 'N').Ok());
  pty.CloseMaster();
  std::uint8_t b = 0;
  EXPECT_FALSE(device.WaitForInput(30));
  EXPECT_FALSE(device.ReadByte(b));
}

}  // namespace
}  // namespace korvex::link

#endif  // _WIN32
