// The status panel's text model: a fixed grid of character cells in which each step of an
// operation writes one line and reports its outcome or progress at the line's right end.
// It draws nothing itself; a listener (the window or the terminal) shows it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvex::display {

class TKVStatus;

// Told after every change of the panel and of the application title it derives.
class StatusListener {
 public:
  virtual ~StatusListener() = default;
  virtual void StatusPanelChanged(const TKVStatus& panel) = 0;
  virtual void SetApplicationTitle(const std::string& title) = 0;
};

// Attribute bits of a cell: 0 red, 1 green, 2 blue, 3 bold.
inline constexpr std::uint8_t kAttrPlain = 0;
inline constexpr std::uint8_t kAttrBold = 8;
inline constexpr std::uint8_t kAttrBoldRed = 9;
inline constexpr std::uint8_t kAttrBoldGreen = 10;

// The cell grid of the main window's 790 x 268 panel in a 12-point fixed font.
inline constexpr int kDefaultColumns = 79;
inline constexpr int kDefaultRows = 14;

class TKVStatus {
 public:
  struct Line {
    std::string text;  // exactly Columns() characters after a write
    std::array<std::uint8_t, 255> attributes{};
  };

  explicit TKVStatus(std::string windowCaption = "") : caption_(std::move(windowCaption)) {}

  void SetListener(StatusListener* listener) { listener_ = listener; }
  void SetCaption(std::string caption) { caption_ = std::move(caption); }
  const std::string& Caption() const { return caption_; }

  // Sets the grid size (columns at most 255, rows at most 256), then clears.
  void KVinit(int columns = kDefaultColumns, int rows = kDefaultRows);
  void KVclear();
  void KVadd(const std::string& text) { WriteLine(text, true, false); }
  void KVrep(const std::string& text) { WriteLine(text, false, false); }
  void KVins(const std::string& text) { WriteLine(text, false, true); }
  void KVstatus(const std::string& text, int width, std::uint8_t attribute);
  void KVprogress(std::int32_t position, std::int32_t maximum, std::int32_t step);

  int Columns() const { return columns_; }
  int Rows() const { return rows_; }
  int CurrentLine() const { return currentLine_; }  // 1-based; 0 = nothing written
  // Counts every new line ever written (it never goes back, also across scrolling and
  // KVclear), so a listener can tell a new line from a change of the current one.
  std::uint64_t LineSerial() const { return lineSerial_; }
  const Line& LineAt(int row) const { return lines_.at(static_cast<std::size_t>(row - 1)); }
  const std::string& StatusText() const { return statusText_; }
  const std::string& Title() const { return title_; }
  // Percentage of the progress shading on the current line (shaded from there to the end),
  // or nullopt when the current line shows no progress.
  std::optional<int> ShadedFromPercent() const { return shadedFrom_; }
  // The written lines, 1..CurrentLine(), with trailing spaces removed (for logs and tests).
  std::vector<std::string> Lines() const;

 private:
  void WriteLine(const std::string& text, bool newLine, bool append);
  void SetTitle(const std::string& text);
  void Changed();

  StatusListener* listener_ = nullptr;
  std::string caption_;
  std::string title_;
  std::string statusText_;
  std::string lastText_;
  int columns_ = kDefaultColumns;
  int rows_ = kDefaultRows;
  int currentLine_ = 0;
  int lastProgress_ = -100;
  std::uint64_t lineSerial_ = 0;
  std::optional<int> shadedFrom_;
  std::vector<Line> lines_;
};

}  // namespace korvex::display
