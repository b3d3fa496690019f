#include "firmware/file_stream.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>

#include "shell/file_names.h"

namespace korvex::firmware {

namespace {

std::string SystemReason(int error) {
  return std::strerror(error);
}

}  // namespace

FileStream::FileStream(const std::string& fileName) {
  std::error_code ec;
  const auto status = std::filesystem::status(shell::PathFromUtf8(fileName), ec);
  if (ec) throw FileError(fileName + ": " + ec.message());
  if (!std::filesystem::is_regular_file(status)) throw FileError(fileName + ": not a regular file");

  file_ = shell::OpenFileUtf8(fileName, "rb");
  if (file_ == nullptr) throw FileError(fileName + ": " + SystemReason(errno));

  // The size is taken from the open file, so it describes what will be read.
  long end = -1;
  if (std::fseek(file_, 0, SEEK_END) == 0) end = std::ftell(file_);
  if (end < 0 || std::fseek(file_, 0, SEEK_SET) != 0) {
    const int error = errno;
    std::fclose(file_);
    file_ = nullptr;
    throw FileError(fileName + ": cannot take the size: " + SystemReason(error));
  }
  size_ = static_cast<std::uint64_t>(end);
}

FileStream::~FileStream() {
  if (file_ != nullptr) std::fclose(file_);
}

std::size_t FileStream::Read(std::span<std::uint8_t> buffer) {
  if (buffer.empty()) return 0;
  const std::size_t read = std::fread(buffer.data(), 1, buffer.size(), file_);
  if (read < buffer.size() && std::ferror(file_)) {
    const int error = errno;
    std::clearerr(file_);
    throw FileError("read error: " + SystemReason(error));
  }
  return read;
}

void FileStream::Seek(std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<long>::max()) ||
      std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) {
    throw FileError("cannot move to offset " + std::to_string(offset));
  }
}

}  // namespace korvex::firmware
