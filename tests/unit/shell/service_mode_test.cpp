#include "shell/service_mode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "shell/session.h"
#include "shell/virtual_clock.h"
#include "support/scripted_operator.h"

namespace korvex::shell {
namespace {

namespace fs = std::filesystem;

constexpr DateTime kMarch12{2025, 3, 12, 14, 5, 9};

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

int ProcessId() {
#ifdef _WIN32
  return ::_getpid();
#else
  return static_cast<int>(::getpid());
#endif
}

// A private folder with a marker path and an existing log folder; removed afterwards.
class ServiceModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root = fs::temp_directory_path() /
           ("korvex_service_" + std::string(info->name()) + "_" + std::to_string(ProcessId()));
    fs::remove_all(root);
    fs::create_directories(root / "log");
    paths = ServicePaths{(root / "test.cfg").string(), (root / "log").string()};
  }
  void TearDown() override { fs::remove_all(root); }

  void MarkerOn() { WriteFile(paths.markerPath, std::string(kServiceMarkerText)); }

  fs::path root;
  ServicePaths paths;
  FixedWallClock wallClock{kMarch12};
};

TEST_F(ServiceModeTest, IsOnOnlyForTheExactMarkerText) {
  const struct {
    const char* name;
    std::string content;
    bool on;
  } cases[] = {
      {"exact", "Jolt 93\r\n", true},
      {"no line end (7 bytes)", "Jolt 93", false},
      {"trailing space (10 bytes)", "Jolt 93\r\n ", false},
      {"lower case", "jolt 93\r\n", false},
      {"upper case", "JOLT 93\r\n", false},
      {"line feed only", "Jolt 93\n", false},
      {"line end swapped", "Jolt 93\n\r", false},
      {"other 9 bytes", "Jolt 94\r\n", false},
      {"empty", "", false},
  };
  for (const auto& c : cases) {
    WriteFile(paths.markerPath, c.content);
    EXPECT_EQ(ServiceMode(paths).ServiceTestMode(), c.on) << c.name;
  }
}

TEST_F(ServiceModeTest, IsOffWithoutARegularMarkerFile) {
  EXPECT_FALSE(ServiceMode(paths).ServiceTestMode());
  fs::create_directory(paths.markerPath);
  EXPECT_FALSE(ServiceMode(paths).ServiceTestMode());
}

TEST_F(ServiceModeTest, KeepsTheFirstAnswerForTheLifeOfTheObject) {
  ServiceMode off(paths);
  EXPECT_FALSE(off.ServiceTestMode());
  MarkerOn();
  EXPECT_FALSE(off.ServiceTestMode());
  off.WriteLog("ignored");
  EXPECT_TRUE(fs::is_empty(paths.logFolder));

  ServiceMode on(paths);
  EXPECT_TRUE(on.ServiceTestMode());
  fs::remove(paths.markerPath);
  EXPECT_TRUE(on.ServiceTestMode());
}

TEST_F(ServiceModeTest, AppendsStampedLinesToTheMonthsFile) {
  MarkerOn();
  const fs::path march = fs::path(paths.logFolder) / "KORVEX_2025_03.log";
  WriteFile(march, "earlier line\r\n");

  ServiceMode service(paths, wallClock);
  service.WriteLog("CA-64 v1.23 -> CA-64 v1.24");
  wallClock.Set({2025, 3, 31, 23, 59, 59});
  service.WriteLog("second");
  EXPECT_EQ(ReadFile(march),
            "earlier line\r\n"
            "2025-03-12 14:05:09: CA-64 v1.23 -> CA-64 v1.24\r\n"
            "2025-03-31 23:59:59: second\r\n");

  // A new month starts a new file.
  wallClock.Set({2025, 4, 1, 0, 0, 1});
  service.WriteLog("april");
  EXPECT_EQ(ReadFile(fs::path(paths.logFolder) / "KORVEX_2025_04.log"),
            "2025-04-01 00:00:01: april\r\n");
}

TEST_F(ServiceModeTest, CutsTheLineTo255CharactersBeforeTheLineEnd) {
  MarkerOn();
  ServiceMode service(paths, wallClock);
  service.WriteLog(std::string(300, 'm'));
  const std::string text = ReadFile(fs::path(paths.logFolder) / "KORVEX_2025_03.log");
  ASSERT_EQ(text.size(), 257u);
  EXPECT_EQ(text.substr(0, 21), "2025-03-12 14:05:09: ");
  EXPECT_EQ(text.substr(21, 234), std::string(234, 'm'));
  EXPECT_EQ(text.substr(255), "\r\n");
}

TEST_F(ServiceModeTest, WritesNothingWhenOffOrWhenTheFolderIsMissing) {
  ServiceMode off(paths, wallClock);
  off.WriteLog("not in service mode");
  EXPECT_TRUE(fs::is_empty(paths.logFolder));

  MarkerOn();
  const fs::path missing = root / "no_such_folder";
  ServiceMode on(ServicePaths{paths.markerPath, missing.string()}, wallClock);
  EXPECT_TRUE(on.ServiceTestMode());
  on.WriteLog("lost");
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(ServiceModeTest, TakesThePathsFromTheEnvironmentWhenTheObjectIsMade) {
  MarkerOn();
  ::setenv(kServiceMarkerEnvVar, paths.markerPath.c_str(), 1);
  ::setenv(kServiceLogDirEnvVar, paths.logFolder.c_str(), 1);
  ServiceMode fromEnvironment;
  testing::ScriptedOperator op;
  VirtualClock clock;
  Session session(op, clock, 1);
  ::setenv(kServiceMarkerEnvVar, "", 1);
  ::unsetenv(kServiceLogDirEnvVar);

  EXPECT_EQ(fromEnvironment.Paths().markerPath, paths.markerPath);
  EXPECT_EQ(fromEnvironment.Paths().logFolder, paths.logFolder);
  EXPECT_TRUE(fromEnvironment.ServiceTestMode());
  EXPECT_TRUE(session.ServiceTestMode());

  // Unset or empty variables leave the platform's paths.
  const ServicePaths defaults = ServicePaths::FromEnvironment();
  EXPECT_EQ(defaults.markerPath, kDefaultServiceMarkerPath);
  EXPECT_EQ(defaults.logFolder, kDefaultServiceLogFolder);
  ::unsetenv(kServiceMarkerEnvVar);
}

TEST_F(ServiceModeTest, SessionLogsThroughItsServiceObject) {
  MarkerOn();
  testing::ScriptedOperator op;
  VirtualClock clock;
  Session session(op, clock, 1);
  session.Service = ServiceMode(paths, wallClock);
  session.WriteLog("panel -> file");
  EXPECT_EQ(ReadFile(fs::path(paths.logFolder) / "KORVEX_2025_03.log"),
            "2025-03-12 14:05:09: panel -> file\r\n");
}

}  // namespace
}  // namespace korvex::shell
