#include "shell/file_digest.h"

#include <gcrypt.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>

namespace korvex::shell {

namespace {

constexpr std::size_t kSha256Size = 32;

struct HandleCloser {
  void operator()(gcry_md_hd_t handle) const { gcry_md_close(handle); }
};

}  // namespace

std::optional<std::string> FileSha256Hex(const std::filesystem::path& path) {
  // The library wants its version check before first use; it is cheap and idempotent.
  gcry_check_version(nullptr);
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  gcry_md_hd_t raw = nullptr;
  if (gcry_md_open(&raw, GCRY_MD_SHA256, 0) != 0) return std::nullopt;
  const std::unique_ptr<std::remove_pointer_t<gcry_md_hd_t>, HandleCloser> handle(raw);

  std::array<char, 65536> buffer{};
  while (in) {
    in.read(buffer.data(), buffer.size());
    gcry_md_write(handle.get(), buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  const unsigned char* digest = gcry_md_read(handle.get(), GCRY_MD_SHA256);
  if (digest == nullptr) return std::nullopt;
  std::string hex;
  for (std::size_t i = 0; i < kSha256Size; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

}  // namespace korvex::shell
