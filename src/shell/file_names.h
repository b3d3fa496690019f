// File names as UTF-8 texts. The program keeps every name in UTF-8 (as the command line, the
// dialogs and the status bar carry it) and turns it into the system's own form only where a
// file is opened: wide UTF-16 on Windows, the bytes as they are on POSIX systems. A narrow
// name handed to a Windows call would be read in the ANSI code page instead.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace korvex::shell {

std::filesystem::path PathFromUtf8(std::string_view name);
std::string Utf8FromPath(const std::filesystem::path& path);

// std::fopen for a UTF-8 name; nullptr (with errno set) when it cannot be opened.
std::FILE* OpenFileUtf8(const std::string& name, const char* mode);

// The folder of the running program, or the current folder when it cannot be found.
std::filesystem::path ProgramFolder();

}  // namespace korvex::shell
