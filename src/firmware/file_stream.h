// A read-only stream over a regular file. Failures to open, read or position raise FileError;
// the callers that face the operator catch it and turn it into their own outcome.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

namespace korvex::firmware {

class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class FileStream {
 public:
  // Opens fileName read-only. Anything but a regular file (a directory, a device, a pipe) is
  // refused like a missing one, so opening never blocks and reading never meets surprises.
  explicit FileStream(const std::string& fileName);
  virtual ~FileStream();
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  // Reads up to buffer.size() bytes and returns how many were read (fewer at the end of the
  // file). A read error raises FileError.
  virtual std::size_t Read(std::span<std::uint8_t> buffer);
  // Moves to an absolute offset from the start of the file.
  void Seek(std::uint64_t offset);
  // The file's size when it was opened.
  std::uint64_t Size() const { return size_; }

 private:
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
};

// A file held by another program may open a moment later: opening is tried this many times.
inline constexpr int kOpenAttempts = 4;

// Opens a stream of type Stream (FileStream or a descendant), trying kOpenAttempts times and
// calling waitAfterFailure after every failed attempt. Returns null when every attempt failed;
// never raises.
template <class Stream, class... Args>
std::unique_ptr<Stream> OpenWithRetries(const std::string& fileName,
                                        const std::function<void()>& waitAfterFailure,
                                        const Args&... args) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    try {
      return std::make_unique<Stream>(fileName, args...);
    } catch (const FileError&) {
      if (waitAfterFailure) waitAfterFailure();
    }
  }
  return nullptr;
}

}  // namespace korvex::firmware
