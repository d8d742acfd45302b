// Windows flavour of the file routines: Win32 file handles with 64-bit sizes
// and offsets, so files beyond 4 GiB work in the 32-bit programs too.  Inputs
// are opened with every sharing mode, so that an output may replace a file
// that is still open as an input; only disk files are accepted.  Outputs go to
// a temporary file next to the destination that is flushed to disk and moved
// over the destination.
#include <windows.h>

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "fileio.h"

namespace fileio {
namespace {

// One ReadFile or WriteFile call moves at most this many bytes.
constexpr int64_t kLargestTransfer = int64_t{1} << 30;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Attempts at finding an unused temporary file name.
constexpr int kTempNameAttempts = 100;

HANDLE win_handle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::string system_error(DWORD code) {
  char text[512] = {};
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof text, nullptr);
  std::string reason(text, length);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) {
    reason.pop_back();
  }
  if (reason.empty()) reason = "system error " + std::to_string(code);
  return reason;
}

DWORD transfer_count(int64_t remaining) {
  return static_cast<DWORD>(remaining < kLargestTransfer ? remaining : kLargestTransfer);
}

// Reports a failed Win32 call to the transfer loops, which look at errno.
int64_t failed_call() {
  errno = EIO;
  return -1;
}

}  // namespace

bool file_exists(const char* path) {
  const DWORD attributes = ::GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;
  const HANDLE file = ::CreateFileA(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

int64_t file_size(const char* path) {
  struct _stati64 status;
  if (::_stati64(path, &status) != 0) {
    std::printf("stat file %s failed\n", path);
    return -1;
  }
  return static_cast<int64_t>(status.st_size);
}

std::string stat_error(const char* path) {
  struct _stati64 status;
  return ::_stati64(path, &status) != 0 ? std::string(std::strerror(errno)) : std::string();
}

InputFile::~InputFile() { close(); }

void InputFile::close() {
  if (handle_ != -1) ::CloseHandle(win_handle(handle_));
  handle_ = -1;
  stretch_start_ = stretch_end_ = 0;  // what was learnt of its holes
}

bool InputFile::open(const char* path) {
  close();
  // A directory cannot be opened without FILE_FLAG_BACKUP_SEMANTICS.
  const HANDLE file = ::CreateFileA(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error_ = system_error(::GetLastError());
    return false;
  }
  LARGE_INTEGER size;
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    error_ = kNotRegularFileReason;
    ::CloseHandle(file);
    return false;
  }
  if (!::GetFileSizeEx(file, &size)) {
    error_ = system_error(::GetLastError());
    ::CloseHandle(file);
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  size_ = static_cast<int64_t>(size.QuadPart);
  return true;
}

// Holes are not looked for: every byte up to the size at open is data, and a
// file that shrank since is refused by the read.
int64_t InputFile::stretch_at(int64_t offset, bool* hole, bool* ends_file) {
  *hole = false;
  *ends_file = false;
  return offset < size_ ? size_ : offset;
}

int64_t InputFile::read_at(int64_t offset, void* buffer, int64_t count) {
  const HANDLE file = win_handle(handle_);
  int64_t position = offset;
  DWORD last_error = 0;
  const int64_t got = read_loop(
      [file, &position, &last_error](void* data, int64_t n) -> int64_t {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(static_cast<uint64_t>(position));
        at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(position) >> 32);
        DWORD moved = 0;
        if (!::ReadFile(file, data, transfer_count(n), &moved, &at)) {
          last_error = ::GetLastError();
          if (last_error == ERROR_HANDLE_EOF) return 0;
          return failed_call();
        }
        position += moved;
        return static_cast<int64_t>(moved);
      },
      buffer, count);
  if (got < 0) {
    error_ = system_error(last_error);
    return -1;
  }
  return got;
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
  if (handle_ != -1) ::CloseHandle(win_handle(handle_));
  handle_ = -1;
  if (!temp_path_.empty()) ::DeleteFileA(temp_path_.c_str());
  temp_path_.clear();
}

bool OutputFile::create(const char* path) {
  discard();
  written_ = 0;
  target_path_ = path;
  const DWORD attributes = ::GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error_ = system_error(ERROR_DIRECTORY);
    return false;
  }
  const DWORD process = ::GetCurrentProcessId();
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    const std::string name =
        target_path_ + "." + std::to_string(process) + "-" + std::to_string(attempt) + ".tmp";
    const HANDLE file = ::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                      nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<intptr_t>(file);
      temp_path_ = name;
      return true;
    }
    const DWORD code = ::GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
      error_ = system_error(code);
      return false;
    }
  }
  error_ = system_error(ERROR_FILE_EXISTS);
  return false;
}

bool OutputFile::write(const void* data, int64_t count) {
  const HANDLE file = win_handle(handle_);
  DWORD last_error = 0;
  const int64_t put = write_loop(
      [file, &last_error](const void* at, int64_t n) -> int64_t {
        DWORD moved = 0;
        if (!::WriteFile(file, at, transfer_count(n), &moved, nullptr)) {
          last_error = ::GetLastError();
          return failed_call();
        }
        return static_cast<int64_t>(moved);
      },
      data, count);
  if (put > 0) written_ += put;
  if (put == count) return true;
  error_ = system_error(last_error != 0 ? last_error : ERROR_DISK_FULL);
  return false;
}

bool OutputFile::commit() {
  const HANDLE file = win_handle(handle_);
  if (!::FlushFileBuffers(file)) {
    error_ = system_error(::GetLastError());
    discard();
    return false;
  }
  handle_ = -1;
  ::CloseHandle(file);
  if (!::MoveFileExA(temp_path_.c_str(), target_path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error_ = system_error(::GetLastError());
    discard();
    return false;
  }
  temp_path_.clear();
  return true;
}

FileBuffer allocate_file_buffer(int64_t size) {
  FileBuffer buffer;
  if (size < 0 || static_cast<uint64_t>(size) > std::numeric_limits<size_t>::max()) return buffer;
  const auto bytes = static_cast<size_t>(size);
  buffer.bytes.reset(static_cast<unsigned char*>(std::malloc(bytes != 0 ? bytes : 1)));
  if (buffer.bytes) buffer.size = size;
  return buffer;
}

}  // namespace fileio
