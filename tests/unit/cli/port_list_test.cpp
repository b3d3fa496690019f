#include "cli/port_list.h"

#include <gtest/gtest.h>

namespace korvex::cli {
namespace {

using Lines = std::vector<std::string>;

TEST(PortList, AlignsDescriptionsAndMarksPortsThisUserMayNotOpen) {
  struct Case {
    const char* what;
    std::vector<link::PortInfo> ports;
    Lines expected;
  };
  const std::string advice = std::string("This user may not open the ports marked ") +
                             kNoPermissionMark + ". " + link::kSerialPermissionAdvice;
  const Case cases[] = {
      {"no ports", {}, {"No serial ports found."}},
      {"every port may be opened: no note",
       {{"/dev/ttyUSB0", "usb-FTDI_FT232R_A600-if00-port0"}, {"/dev/ttyS0", ""}},
       {"/dev/ttyS0", "/dev/ttyUSB0  usb-FTDI_FT232R_A600-if00-port0"}},
      {"a denied port with and one without a description",
       {{"/dev/ttyUSB0", "usb-FTDI", false},
        {"/dev/ttyS0", "", false},
        {"/dev/pts/3", "KORVEX_COM2"}},
       {"/dev/pts/3    KORVEX_COM2", "/dev/ttyS0    [no permission]",
        "/dev/ttyUSB0  usb-FTDI  [no permission]", advice}},
  };
  for (const Case& c : cases) EXPECT_EQ(PortListLines(c.ports), c.expected) << c.what;
}

}  // namespace
}  // namespace korvex::cli
