// The platform layer on Windows: paths, console text and arguments through
// the wide-character (UTF-16) API; GB18030 through MultiByteToWideChar.
#include <windows.h>
// CommandLineToArgvW
#include <shellapi.h>

#include <algorithm>
#include <climits>
#include <cwchar>

#include "platform.h"
#include "unicode.h"

namespace calvex_host::platform {
namespace {

constexpr UINT kCodePageGb18030 = 54936;
constexpr UINT kCodePageGbk = 936;  // the two-byte subset of GB18030
// WriteConsoleW is given at most this many UTF-16 units per call.
constexpr size_t kConsoleChunkUnits = 8192;
// WriteFile is given at most this many bytes per call.
constexpr size_t kFileChunkBytes = 1 << 20;

std::wstring wide_of(std::string_view utf8) {
  const std::u16string text = utf16_from_utf8(utf8);
  return std::wstring(text.begin(), text.end());
}

std::string utf8_of(const wchar_t* text, size_t units) {
  return utf8_from_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(text), units));
}

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

bool write_console(HANDLE console, std::string_view text) {
  const std::u16string wide = utf16_from_utf8(text);
  for (size_t at = 0; at < wide.size();) {
    size_t units = std::min(kConsoleChunkUnits, wide.size() - at);
    // A surrogate pair stays in one call.
    if (units > 1 && at + units < wide.size() && is_high_surrogate(wide[at + units - 1])) --units;
    DWORD done = 0;
    if (!WriteConsoleW(console, wide.data() + at, static_cast<DWORD>(units), &done, nullptr) || done == 0) {
      return false;
    }
    at += done;
  }
  return true;
}

bool write_bytes(HANDLE file, std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const DWORD bytes = static_cast<DWORD>(std::min(kFileChunkBytes, text.size() - at));
    DWORD done = 0;
    if (!WriteFile(file, text.data() + at, bytes, &done, nullptr) || done == 0) return false;
    at += done;
  }
  return true;
}

}  // namespace

File open_file(std::string_view utf8_path, FileMode mode) {
  return File(_wfopen(wide_of(utf8_path).c_str(), mode == FileMode::kRead ? L"rb" : L"wb"));
}

bool write_text(Stream stream, std::string_view text) {
  const HANDLE handle = GetStdHandle(stream == Stream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  DWORD console_mode = 0;
  if (GetConsoleMode(handle, &console_mode)) return write_console(handle, text);
  return write_bytes(handle, text);
}

std::optional<std::string> utf8_from_gb18030(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return std::string();
  if (bytes.size() > static_cast<size_t>(INT_MAX)) return std::nullopt;
  const UINT code_page = IsValidCodePage(kCodePageGb18030) ? kCodePageGb18030 : kCodePageGbk;
  const auto* in = reinterpret_cast<const char*>(bytes.data());
  const int in_bytes = static_cast<int>(bytes.size());
  const int units = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in, in_bytes, nullptr, 0);
  if (units <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(units), L'\0');
  if (MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in, in_bytes, wide.data(), units) != units) {
    return std::nullopt;
  }
  return utf8_of(wide.data(), wide.size());
}

std::vector<std::string> arguments(int, char**) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {};
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(utf8_of(wide[i], wcslen(wide[i])));
  LocalFree(wide);
  return args;
}

}  // namespace calvex_host::platform
