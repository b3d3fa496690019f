// The simulator on a real pseudo-terminal: a PC side that opens the port by name, sets the
// rate with the terminal settings and speaks the frames, as the product's serial layer does.
#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "firmware/block_check.h"
#include "link/frame.h"
#include "panel_test_util.h"
#include "sim/panel_preset.h"
#include "sim/settings_blocks.h"
#include "support/firmware_files.h"

namespace korvex::sim {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int kReplyTimeoutMs = 2000;
constexpr int kSilenceMs = 300;

speed_t SpeedOf(std::uint32_t rate) {
  switch (rate) {
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    default:
      return B9600;
  }
}

// The PC's end: a raw 8N1 port at a rate.
class PtyPc {
 public:
  ~PtyPc() { Close(); }

  bool Open(const std::string& path, std::uint32_t rate) {
    Close();
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return false;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, SpeedOf(rate));
    cfsetospeed(&t, SpeedOf(rate));
    return tcsetattr(fd_, TCSANOW, &t) == 0;
  }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  // Waits until reply bytes are there to read; false when none came within timeoutMs.
  bool WaitReadable(int timeoutMs = kReplyTimeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, timeoutMs) == 1 && (p.revents & POLLIN);
  }

  // Writes the request's frame without waiting for the reply.
  bool Send(const Bytes& request) {
    const Bytes frame = link::EncodeRequestFrame(request);
    return write(fd_, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size());
  }

  // Writes the request's frame and reads until a whole reply arrived or the time is over.
  std::optional<Bytes> Exchange(const Bytes& request, int timeoutMs = kReplyTimeoutMs) {
    if (!Send(request)) return std::nullopt;
    link::ReplyReceiver::Buffer buffer{};
    link::ReplyReceiver receiver(buffer);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!receiver.Complete() && std::chrono::steady_clock::now() < end) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      std::uint8_t b = 0;
      while (!receiver.Complete() && read(fd_, &b, 1) == 1) receiver.Feed(b);
    }
    if (!receiver.ChecksMatch()) return std::nullopt;
    const std::size_t n = buffer[0] == 0 ? 256 : buffer[0];
    return Bytes(buffer.begin() + 1,
                 buffer.begin() + 2 + static_cast<std::ptrdiff_t>(n));  // answer, data
  }

 private:
  int fd_ = -1;
};

// The server's log lines as they are written (on the server's thread), so a test can wait for
// the server to have seen something happen.
class ServerLog {
 public:
  PtyServer::LogSink Sink() {
    return [this](std::uint64_t, const std::string& line) {
      const std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(line);
      changed_.notify_all();
    };
  }
  // Lines written so far that hold `text`.
  std::size_t Count(const std::string& text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return CountLocked(text);
  }
  // Waits until `count` lines holding `text` were written. The limit only keeps a broken
  // server from hanging the test.
  bool WaitFor(const std::string& text, std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(kReplyTimeoutMs),
                             [&] { return CountLocked(text) >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;

  std::size_t CountLocked(const std::string& text) const {
    return static_cast<std::size_t>(std::count_if(lines_.begin(), lines_.end(), [&](const auto& l) {
      return l.find(text) != std::string::npos;
    }));
  }
};

class PtyServerTest : public ::testing::Test {
 protected:
  void Start(std::initializer_list<std::pair<const char*, const char*>> keys) {
    PanelPreset preset = testing::PresetWith({{"wire_time", "no"}, {"chip_times", "no"}});
    for (const auto& [key, value] : keys) {
      std::string error;
      ASSERT_TRUE(ApplyPresetSetting(preset, key, value, &error)) << error;
    }
    panel_ = testing::MakePanel(preset);
    server_ = std::make_unique<PtyServer>(*panel_);
    server_->SetLogSink(log_.Sink());
    std::string error;
    ASSERT_TRUE(server_->Open(&error)) << error;
    thread_ = std::thread([this] { server_->Run(); });
  }
  void Stop() {
    if (!thread_.joinable()) return;
    server_->Stop();
    thread_.join();
  }
  ~PtyServerTest() override { Stop(); }

  std::unique_ptr<PanelModel> panel_;
  ServerLog log_;
  std::unique_ptr<PtyServer> server_;
  std::thread thread_;
};

Bytes Answer(std::uint8_t answer, Bytes data) {
  data.insert(data.begin(), answer);
  return data;
}

TEST_F(PtyServerTest, ScriptedRunAtEachRate) {
  for (const char* fast : {"none", "57600", "115200"}) {
    Start({{"fast_rate", fast},
           {"panel_type", "7"},
           {"starter_version", "0x61"},
           {"program", "blank"}});
    PtyPc pc;
    ASSERT_TRUE(pc.Open(server_->PortPath(), 9600));
    ASSERT_EQ(pc.Exchange({0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}), Answer(0x92, {0x00}))
        << fast;
    const auto negotiated = pc.Exchange({0x14, 0x55, 0xAA, 0x41});
    ASSERT_TRUE(negotiated) << fast;
    std::uint32_t rate = 9600;
    if ((*negotiated)[0] == 0x92) {
      rate = (*negotiated)[1] == 0 ? 115200 : 57600;
      ASSERT_TRUE(pc.Open(server_->PortPath(), rate));  // a rate change reopens the port
    }
    EXPECT_EQ(rate, std::string(fast) == "none" ? 9600u : std::stoul(fast));
    EXPECT_EQ(pc.Exchange({0x61, 0x61, 0x61, 0x61}), Answer(0x92, {5, 7, 0x61})) << fast;
    ASSERT_EQ(pc.Exchange({0x1E, 1, 2, 3, 4}), Answer(0x91, {0x00}));
    ASSERT_EQ(pc.Exchange({0x1F, 0x1F, 0x1F, 0x1F}), Answer(0x92, {1, 2, 3, 4}));
    EXPECT_EQ(pc.Exchange({0x62, 0xF9, 0x1F, 0x07, 0x01}), Answer(0x92, {0x01}));  // language EN
    ASSERT_EQ(pc.Exchange({0x26, 0x02, 0x66, 0x66}), Answer(0x91, {0x00}));
    Bytes program = {0x25, 0x00, 0x02};
    for (int i = 0; i < 256; ++i) program.push_back(static_cast<std::uint8_t>(i ^ 0x5A));
    ASSERT_EQ(pc.Exchange(program), Answer(0x92, {0x00}));
    const auto check = pc.Exchange({0x64, 0x00, 0x00, 0x02, 0x00, 0x02, 0x00});
    ASSERT_TRUE(check);
    const auto values = firmware::BlockCheck(panel_->Flash().subspan(0x20000, 512));
    EXPECT_EQ(*check, Answer(0x92, {static_cast<std::uint8_t>(values.sum),
                                    static_cast<std::uint8_t>(values.sum >> 8), values.xorValue,
                                    values.chain}));
    Bytes settings = {0x80, 0x00, 0x90, 0x02};
    for (int i = 0; i < 64; ++i) settings.push_back(static_cast<std::uint8_t>(i));
    ASSERT_EQ(pc.Exchange(settings), Answer(0x91, {0x00}));
    const auto read = pc.Exchange({0x70, 0x00, 0x90, 0x02});
    ASSERT_TRUE(read);
    EXPECT_EQ(Bytes(read->begin() + 1, read->end()), Bytes(settings.begin() + 4, settings.end()));
    const auto st = pc.Exchange({0x90, 0x01, 0x08, 0x01, 0x16});
    ASSERT_TRUE(st);
    EXPECT_EQ((*st)[1], 0x26);
    Stop();

    // What the requests wrote is what the dump holds.
    const korvex::testing::TempDir temp;
    const fs::path dir = temp.Path() / "dump";
    std::string error;
    ASSERT_TRUE(DumpPanel(*panel_, dir.string(), &error)) << error;
    std::ifstream in(dir / "flash.bin", std::ios::binary);
    const Bytes flash(std::istreambuf_iterator<char>(in), {});
    ASSERT_EQ(flash.size(), 0x80000u);
    EXPECT_TRUE(std::equal(program.begin() + 3, program.end(), flash.begin() + 0x20000));
    EXPECT_TRUE(std::all_of(flash.begin() + 0x20100, flash.begin() + 0x30000,
                            [](std::uint8_t b) { return b == 0xFF; }));
    std::ifstream in2(dir / "settings2.bin", std::ios::binary);
    const Bytes area2(std::istreambuf_iterator<char>(in2), {});
    EXPECT_TRUE(std::equal(settings.begin() + 4, settings.end(), area2.begin() + 0x9000));
    EXPECT_TRUE(panel_->Violations().empty());
    fs::remove_all(dir);
  }
}

TEST_F(PtyServerTest, BytesAtTheWrongRateGetNoAnswer) {
  Start({});
  PtyPc pc;
  for (std::uint32_t rate : {57600u, 115200u}) {
    ASSERT_TRUE(pc.Open(server_->PortPath(), rate));
    EXPECT_FALSE(pc.Exchange({0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}, kSilenceMs)) << rate;
  }
  ASSERT_TRUE(pc.Open(server_->PortPath(), 9600));
  EXPECT_TRUE(pc.Exchange({0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}));
  Stop();
  EXPECT_GT(panel_->Stats().wrongRateBytes, 0u);
  EXPECT_EQ(panel_->RequestCount(), 1u);
}

TEST_F(PtyServerTest, SurvivesThePcClosingAndReopening) {
  Start({});
  PtyPc pc;
  // After an answered exchange the server has seen the PC; closing is then seen next.
  const std::string closed = "the PC closed the port";
  for (int round = 0; round < 5; ++round) {
    ASSERT_TRUE(pc.Open(server_->PortPath(), 9600));
    EXPECT_TRUE(pc.Exchange({0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA})) << round;
    const std::size_t closings = log_.Count(closed);
    pc.Close();
    ASSERT_TRUE(log_.WaitFor(closed, closings + 1)) << round;
  }
  // A reply the PC never read is gone when it opens the port again.
  ASSERT_TRUE(pc.Open(server_->PortPath(), 9600));
  ASSERT_TRUE(pc.Send({0x62, 0xF9, 0x1F, 0x07, 0x01}));
  ASSERT_TRUE(pc.WaitReadable());
  const std::size_t closings = log_.Count(closed);
  pc.Close();
  ASSERT_TRUE(log_.WaitFor(closed, closings + 1));
  ASSERT_TRUE(pc.Open(server_->PortPath(), 9600));
  EXPECT_EQ(pc.Exchange({0x61, 0x61, 0x61, 0x61}), Answer(0x92, {5, 3, 0x61}));
}

TEST_F(PtyServerTest, LinkIsPlacedAndRemoved) {
  Start({});
  const korvex::testing::TempDir temp;
  const fs::path link = temp.Path() / "panel_link";
  std::string error;
  ASSERT_TRUE(server_->PlaceLink(link.string(), &error)) << error;
  EXPECT_EQ(fs::read_symlink(link).string(), server_->PortPath());
  PtyPc pc;
  ASSERT_TRUE(pc.Open(link.string(), 9600));
  EXPECT_TRUE(pc.Exchange({0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}));
  Stop();
  server_.reset();
  EXPECT_FALSE(fs::is_symlink(link));
}

TEST(PtyRates, TermiosSpeedsMapToRates) {
  EXPECT_EQ(RateOfSpeed(B9600), 9600u);
  EXPECT_EQ(RateOfSpeed(B57600), 57600u);
  EXPECT_EQ(RateOfSpeed(B115200), 115200u);
  EXPECT_EQ(RateOfSpeed(B0), 0u);
}

}  // namespace
}  // namespace korvex::sim
