#include "win/message_text.h"

#include <gtest/gtest.h>

namespace korvex::win {
namespace {

TEST(MessageTextTest, LinesEndInCarriageReturnAndLineFeed) {
  struct Case {
    const char* text;
    const wchar_t* shown;
  };
  const Case cases[] = {
      {"KORVEX 1.24\rFirmware updating", L"KORVEX 1.24\r\nFirmware updating"},
      {"a\r\nb", L"a\r\nb"},
      {"a\nb", L"a\r\nb"},
      {"a\r\rb\r", L"a\r\n\r\nb\r\n"},
      {"", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(WidenLines(c.text), c.shown) << c.text;
}

TEST(MessageTextTest, KeepsNonAsciiCharacters) {
  EXPECT_EQ(WidenLines("Selected file does not exist.\r(C:\\Zaż\xc3\xb3\xc5\x82\xc4\x87.qfw)"),
            L"Selected file does not exist.\r\n(C:\\Za\u017c\u00f3\u0142\u0107.qfw)");
}

}  // namespace
}  // namespace korvex::win
