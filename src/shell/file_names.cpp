#include "shell/file_names.h"

#include <system_error>

#ifdef _WIN32
#include "shell/wide_text.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace korvex::shell {

std::filesystem::path PathFromUtf8(std::string_view name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::FILE* OpenFileUtf8(const std::string& name, const char* mode) {
#ifdef _WIN32
  return _wfopen(WideFromUtf8(name).c_str(), WideFromUtf8(mode).c_str());
#else
  return std::fopen(name.c_str(), mode);
#endif
}

std::filesystem::path ProgramFolder() {
  std::error_code ec;
#ifdef _WIN32
  std::wstring module(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    if (length == 0) return std::filesystem::current_path(ec);
    if (length < module.size()) {
      module.resize(length);
      break;
    }
    module.resize(module.size() * 2);
  }
  const std::filesystem::path folder = std::filesystem::path(module).parent_path();
#else
  const std::filesystem::path folder =
      std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
#endif
  if (ec || folder.empty()) return std::filesystem::current_path(ec);
  return folder;
}

}  // namespace korvex::shell
