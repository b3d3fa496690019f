#include "firmware/firmware_check.h"

#include <array>
#include <vector>

#include "firmware/block_check.h"
#include "firmware/identity.h"
#include "firmware/sm_file_stream.h"
#include "firmware/st_section.h"

namespace korvex::firmware {

namespace {

std::string HexByte(std::uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (int i = 0; i < digits; ++i, value >>= 4) text.insert(text.begin(), kDigits[value & 0xF]);
  return "0x" + text;
}

// Reads exactly buffer.size() bytes; false when the stream raised an error or the file ended
// early (a file that shrinks while it is read is not taken for whole).
bool ReadExactly(TSMFileStream& stream, std::span<std::uint8_t> buffer) {
  try {
    return stream.Read(buffer) == buffer.size();
  } catch (const FileError&) {
    return false;
  }
}

class Checker {
 public:
  Checker(FirmwareImage& image, const FileCheckHooks& hooks) : image_(image), hooks_(hooks) {}

  FileCheckResult Run(const std::string& path, const ScrambleKey& key) {
    auto stream = OpenWithRetries<TSMFileStream>(path, hooks_.waitAfterOpenFailure, key);
    if (!stream) return {FileVerdict::kCannotOpen, "the file cannot be opened"};
    if (hooks_.opened) hooks_.opened();

    const auto kind = StKindForFileSize(stream->Size());
    if (!kind) {
      image_.StKind = StSectionKind::kNone;
      return Invalid("the file size " + std::to_string(stream->Size()) +
                     " is not one of 393216, 423428, 454660 and 521732 bytes");
    }
    image_.StKind = *kind;

    ReadMainImage(*stream);
    stream.reset();
    if (!reason_.empty()) return Invalid(reason_);

    if (image_.StKind != StSectionKind::kNone) {
      switch (ReadStSection(path, image_, hooks_.waitAfterOpenFailure)) {
        case StSectionOutcome::kCannotOpen:
          return {FileVerdict::kStCannotReopen,
                  "the file cannot be opened again for its ST section"};
        case StSectionOutcome::kInvalid:
          return Invalid("the ST section's check value or the ST program's checksum is wrong");
        case StSectionOutcome::kValid:
          break;
      }
    }

    const IdentityHeader header = DecodeIdentity(image_);
    if (!header.recognised) return Invalid("the identity header at 0x12000 has no known signature");
    const auto type = PanelTypeFromRaw(header.rawType);
    if (!type)
      return Invalid("the panel type code " + std::to_string(header.rawType) + " is unknown");
    if (!ApplyIdentity(header, image_)) {
      return Invalid("panel type " + std::to_string(type->panelType) + " needs ST section kind " +
                     StKindName(type->requiredKind) + ", but the file size gives kind " +
                     StKindName(image_.StKind));
    }
    return {FileVerdict::kValid, ""};
  }

 private:
  static FileCheckResult Invalid(std::string reason) {
    return {FileVerdict::kInvalid, std::move(reason)};
  }
  void Fail(std::string reason) {
    if (reason_.empty()) reason_ = std::move(reason);
  }

  void ReadMainImage(TSMFileStream& stream) {
    BlockCheckValues values;
    std::array<std::uint8_t, kReadChunkSize> chunk{};
    std::uint32_t remaining = kProgramSize;
    do {
      const std::uint32_t done = kProgramSize - remaining;
      if (hooks_.progress) {
        hooks_.progress(static_cast<std::int32_t>(done), static_cast<std::int32_t>(kProgramSize));
      }
      const std::uint32_t count = std::min(remaining, kReadChunkSize);
      const std::span<std::uint8_t> bytes(chunk.data(), count);
      if (hooks_.processMessages) hooks_.processMessages();
      if (!ReadExactly(stream, bytes)) Fail("the file cannot be read in full");
      image_.ImagePut(done, bytes);
      values.Add(bytes);
      remaining -= count;
      if (hooks_.stopRequested && hooks_.stopRequested()) {
        Fail("the check was stopped");
        break;
      }
    } while (remaining > 0);

    std::array<std::uint8_t, 4> stored{};
    const bool readAll = ReadExactly(stream, std::span<std::uint8_t>(stored).first(2)) &&
                         ReadExactly(stream, std::span<std::uint8_t>(stored).subspan(2, 1)) &&
                         ReadExactly(stream, std::span<std::uint8_t>(stored).subspan(3, 1));
    if (!readAll) Fail("the file cannot be read in full");
    image_.ImagePut(kCheckSumAddress, stored);
    const std::uint16_t storedSum = static_cast<std::uint16_t>(stored[0] | (stored[1] << 8));
    if (storedSum != values.sum || stored[2] != values.xorValue || stored[3] != values.chain) {
      Fail("the program's check values differ (computed " + HexByte(values.sum, 4) + " " +
           HexByte(values.xorValue, 2) + " " + HexByte(values.chain, 2) + ", stored " +
           HexByte(storedSum, 4) + " " + HexByte(stored[2], 2) + " " + HexByte(stored[3], 2) + ")");
    }
  }

  FirmwareImage& image_;
  const FileCheckHooks& hooks_;
  std::string reason_;
};

}  // namespace

FileCheckResult CheckFirmwareFile(const std::string& path, FirmwareImage& image,
                                  const FileCheckHooks& hooks, const ScrambleKey& key) {
  if (image.MainImage.size() != kMainImageSize) image.MainImage.assign(kMainImageSize, 0);
  if (image.StImage.size() != kStImageSize) image.StImage.resize(kStImageSize);
  return Checker(image, hooks).Run(path, key);
}

std::optional<FirmwareImage> LoadFirmwareFile(const std::string& path, std::string* error,
                                              const ScrambleKey& key) {
  FirmwareImage image;
  const FileCheckResult result = CheckFirmwareFile(path, image, {}, key);
  if (!result.Valid()) {
    if (error) *error = result.reason;
    return std::nullopt;
  }
  if (error) error->clear();
  return image;
}

}  // namespace korvex::firmware
