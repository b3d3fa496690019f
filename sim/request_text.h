// Readable one-line descriptions of starter requests and ST commands, for the simulator's
// log of decoded requests.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace korvex::sim {

// The request Req1..Reqn as the PC built it (body in request order).
std::string DescribeRequest(std::span<const std::uint8_t> request);

// An ST command as it travels inside the pass-through request.
std::string DescribeStCommand(std::span<const std::uint8_t> command);

// "0x1F" style text of a byte, and "0x71FF9" style text of an address with `digits` digits.
std::string HexByte(std::uint8_t value);
std::string HexAddress(std::uint32_t value, int digits = 5);

}  // namespace korvex::sim
