#include "firmware/sm_file_stream.h"

#include "firmware/scrambler.h"

namespace korvex::firmware {

TSMFileStream::TSMFileStream(const std::string& fileName, const ScrambleKey& key)
    : FileStream(fileName), key_(key) {}

std::size_t TSMFileStream::Read(std::span<std::uint8_t> buffer) {
  const std::size_t read = FileStream::Read(buffer);
  DescrambleInPlace(buffer, shiftPos_, maskPos_, key_);
  return read;
}

void TSMFileStream::SetPosition(std::uint64_t offset) {
  Seek(offset);
  // The base offset is never above an offset the program moves to; the difference is
  // taken in 64 bits so that no offset can make it negative.
  const std::int64_t relative = static_cast<std::int64_t>(offset) - baseOffset_;
  const std::int64_t shift = relative % static_cast<std::int64_t>(kShiftTableSize);
  const std::int64_t mask = relative % static_cast<std::int64_t>(kMaskTableSize);
  shiftPos_ = static_cast<std::uint16_t>(shift < 0 ? shift + kShiftTableSize : shift);
  maskPos_ = static_cast<std::uint16_t>(mask < 0 ? mask + kMaskTableSize : mask);
}

}  // namespace korvex::firmware
