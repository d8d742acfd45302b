// The host's contact with the operating system: files named by UTF-8 paths,
// text on standard output and standard error, GB18030 decoding, and the
// program's arguments. Everything above this layer handles text as UTF-8 and
// is the same on every platform.
//
// Two flavours implement it: platform_posix.cpp (Linux: stdio and iconv) and
// platform_win.cpp (Windows: the wide-character API, so that any file name
// and any console shows Chinese text correctly). Nothing here prints on its
// own or throws; failures are returned.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace calvex_host::platform {

// ---------------------------------------------------------------- files

// Closes an open file (fclose); the owner of a File that needs the result of
// the close (a written file) calls std::fclose(file.release()) itself.
struct FileCloser {
  void operator()(std::FILE* file) const;
};
using File = std::unique_ptr<std::FILE, FileCloser>;

enum class FileMode {
  kRead,   // an existing file, read from its start
  kWrite,  // created, or truncated when it exists
};

// Opens the file at `utf8_path` in binary mode (no newline translation);
// nullptr when it cannot be opened. On Windows the path reaches the system as
// UTF-16 (_wfopen), so names in any script work.
File open_file(std::string_view utf8_path, FileMode mode);

// The whole content of the file at `utf8_path`; nullopt when it cannot be
// opened or a read fails.
std::optional<std::vector<uint8_t>> read_file(std::string_view utf8_path);

// Creates (or truncates) the file at `utf8_path` and writes `bytes` into it.
// false when the open, a write or the close fails; the file may then be left
// incomplete.
bool write_file(std::string_view utf8_path, std::string_view bytes);

// ---------------------------------------------------------- standard streams

enum class Stream { kOut, kErr };

// Writes UTF-8 `text` to standard output or standard error, as it is (no
// newline is added or translated). On a Windows console the text is shown
// through the console's UTF-16 interface (WriteConsoleW), whatever the
// console's code page; everywhere else (a file, a pipe, a POSIX terminal) the
// UTF-8 bytes are written unchanged, so redirected output is identical on
// every platform. false when the write fails.
bool write_text(Stream stream, std::string_view text);

// write_text of `text` followed by "\n".
bool write_line(Stream stream, std::string_view text);

// --------------------------------------------------------------------- text

// GB18030 `bytes` as UTF-8; nullopt when they are not valid GB18030 (or the
// system has no decoder for it). Linux decodes with iconv; Windows with
// MultiByteToWideChar and code page 54936, or, where that code page is not
// installed (some emulators), code page 936, which decodes the one- and
// two-byte sequences of GB18030 and refuses the four-byte ones.
std::optional<std::string> utf8_from_gb18030(const std::vector<uint8_t>& bytes);

// ---------------------------------------------------------------- arguments

// The program's arguments after its own name, as UTF-8. `argc` and `argv`
// are main's; on Windows they are ignored and the arguments are taken from
// the UTF-16 command line instead (argv holds them in the ANSI code page,
// which loses Chinese file names on most systems).
std::vector<std::string> arguments(int argc, char** argv);

}  // namespace calvex_host::platform
