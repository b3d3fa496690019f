#include "shell/file_digest.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>

#ifdef _WIN32
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>
#else
#include <gcrypt.h>
#endif

namespace korvex::shell {

namespace {

constexpr std::size_t kSha256Size = 32;
using Digest = std::array<unsigned char, kSha256Size>;

#ifdef _WIN32
// The system's SHA-256 (CNG); `feed` hands over the file piece by piece.
class Sha256 {
 public:
  Sha256() {
    ok_ = BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0 &&
          BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0) == 0;
  }
  ~Sha256() {
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  bool Ok() const { return ok_; }
  void Write(const char* data, std::size_t size) {
    ok_ = ok_ && BCryptHashData(hash_, reinterpret_cast<PUCHAR>(const_cast<char*>(data)),
                                static_cast<ULONG>(size), 0) == 0;
  }
  bool Finish(Digest& digest) {
    return ok_ && BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0) == 0;
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
  bool ok_ = false;
};
#else
// SHA-256 from libgcrypt.
class Sha256 {
 public:
  Sha256() {
    // The library wants its version check before first use; it is cheap and idempotent.
    gcry_check_version(nullptr);
    ok_ = gcry_md_open(&handle_, GCRY_MD_SHA256, 0) == 0;
  }
  ~Sha256() {
    if (handle_ != nullptr) gcry_md_close(handle_);
  }
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  bool Ok() const { return ok_; }
  void Write(const char* data, std::size_t size) { gcry_md_write(handle_, data, size); }
  bool Finish(Digest& digest) {
    const unsigned char* result = gcry_md_read(handle_, GCRY_MD_SHA256);
    if (result == nullptr) return false;
    std::copy(result, result + kSha256Size, digest.begin());
    return true;
  }

 private:
  gcry_md_hd_t handle_ = nullptr;
  bool ok_ = false;
};
#endif

}  // namespace

std::optional<std::string> FileSha256Hex(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  Sha256 sha;
  if (!sha.Ok()) return std::nullopt;
  std::array<char, 65536> buffer{};
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    sha.Write(buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  Digest digest{};
  if (in.bad() || !sha.Finish(digest)) return std::nullopt;
  std::string hex;
  for (const unsigned char byte : digest) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

}  // namespace korvex::shell
