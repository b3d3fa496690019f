// Small pieces the starter commands share: filling LinkRequest, reading LinkReply by data
// byte, and the two failure counts of a command's retry loop.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "link/link.h"

namespace korvex::link {

// Writes `bytes` to LinkRequest from position 1 on; returns the request length n.
inline std::uint16_t PutRequest(Link& link, std::initializer_list<std::uint8_t> bytes) {
  std::uint16_t n = 0;
  for (const std::uint8_t b : bytes) link.LinkRequest[++n] = b;
  return n;
}
// Writes `bytes` to LinkRequest from position `from` on.
inline void PutRequestBytes(Link& link, std::size_t from, std::span<const std::uint8_t> bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) link.LinkRequest[from + i] = bytes[i];
}

inline std::uint8_t ReplyCount(const Link& link) {
  return link.LinkReply[0];
}
inline std::uint8_t ReplyAnswer(const Link& link) {
  return link.LinkReply[1];
}
// Data byte k of the reply (position k + 2).
inline std::uint8_t ReplyData(const Link& link, std::size_t k) {
  return link.LinkReply[2 + k];
}

inline std::uint8_t Low(std::uint32_t v) {
  return static_cast<std::uint8_t>(v);
}
inline std::uint8_t Mid(std::uint32_t v) {
  return static_cast<std::uint8_t>(v >> 8);
}
inline std::uint8_t High(std::uint32_t v) {
  return static_cast<std::uint8_t>(v >> 16);
}

// Exchanges that failed and replies that were not accepted, counted apart.
struct FailureCounts {
  int failed = 0;
  int wrong = 0;
  // True once either count passed `limit`.
  bool Exceeded(int limit) const { return failed > limit || wrong > limit; }
};

}  // namespace korvex::link
