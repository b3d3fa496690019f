// The SHA-256 digest of a file, for records that must name exactly which file was used.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace korvex::shell {

// 64 lower-case hexadecimal digits; nullopt when the file cannot be read.
std::optional<std::string> FileSha256Hex(const std::filesystem::path& path);

}  // namespace korvex::shell
