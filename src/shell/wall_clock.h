// The calendar date and time of day, for the service log's file names and line stamps.
// Production reads the local time; tests pin a moment.
#pragma once

namespace korvex::shell {

struct DateTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;
};

class WallClock {
 public:
  virtual ~WallClock() = default;
  virtual DateTime Now() = 0;
};

// The computer's local date and time.
class SystemWallClock : public WallClock {
 public:
  DateTime Now() override;
};

// Always the moment it was given (or last set).
class FixedWallClock : public WallClock {
 public:
  explicit FixedWallClock(DateTime moment) : moment_(moment) {}
  DateTime Now() override { return moment_; }
  void Set(DateTime moment) { moment_ = moment; }

 private:
  DateTime moment_;
};

}  // namespace korvex::shell
