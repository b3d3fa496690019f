// The descrambling file stream of the firmware file format: every byte it delivers is
// descrambled with the key tables at the byte's position in the stream.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "firmware/file_stream.h"
#include "firmware/scramble_key.h"

namespace korvex::firmware {

class TSMFileStream : public FileStream {
 public:
  // Opens the file read-only with both table positions at 0; raises FileError when the file
  // cannot be opened. The key must outlive the stream.
  explicit TSMFileStream(const std::string& fileName, const ScrambleKey& key = ConfiguredKey());

  // Reads up to buffer.size() bytes, then descrambles the whole buffer: the table positions
  // advance once per byte asked for, also when the file delivered fewer. Returns the number
  // of bytes the file delivered.
  std::size_t Read(std::span<std::uint8_t> buffer) override;

  // Moves to an absolute file offset and sets the table positions to match it.
  virtual void SetPosition(std::uint64_t offset);

  std::int32_t BaseOffset() const { return baseOffset_; }
  std::uint16_t ShiftPos() const { return shiftPos_; }
  std::uint16_t MaskPos() const { return maskPos_; }

 private:
  const ScrambleKey& key_;
  std::int32_t baseOffset_ = 0;  // the file offset that counts as position 0
  std::uint16_t shiftPos_ = 0;   // 0..28
  std::uint16_t maskPos_ = 0;    // 0..226
};

}  // namespace korvex::firmware
