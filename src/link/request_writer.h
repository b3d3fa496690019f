// A starter request under construction: Req1..Reqn, at most 259 bytes. Writing past the end
// is refused and remembered, so a request that does not fit is never sent.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "link/frame.h"

namespace korvex::link {

class RequestWriter {
 public:
  RequestWriter() = default;
  RequestWriter(std::initializer_list<std::uint8_t> bytes) { Put(bytes); }

  RequestWriter& Put(std::uint8_t b) {
    if (size_ < bytes_.size()) {
      bytes_[size_++] = b;
    } else {
      overflowed_ = true;
    }
    return *this;
  }
  RequestWriter& Put(std::initializer_list<std::uint8_t> bytes) {
    for (const std::uint8_t b : bytes) Put(b);
    return *this;
  }
  RequestWriter& Put(std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t b : bytes) Put(b);
    return *this;
  }

  // True when the request can be framed: 4..259 bytes and nothing was refused.
  [[nodiscard]] bool Valid() const { return !overflowed_ && size_ >= kMinRequestLength; }
  std::size_t Size() const { return size_; }
  std::span<const std::uint8_t> Bytes() const { return {bytes_.data(), size_}; }

 private:
  std::array<std::uint8_t, kMaxRequestLength> bytes_{};
  std::size_t size_ = 0;
  bool overflowed_ = false;
};

}  // namespace korvex::link
