// The parts of the platform layer that are the same everywhere: they rest on
// open_file and write_text of the flavour.
#include "platform.h"

namespace calvex_host::platform {
namespace {

constexpr size_t kReadChunkBytes = 64 * 1024;

}  // namespace

void FileCloser::operator()(std::FILE* file) const {
  if (file != nullptr) std::fclose(file);
}

std::optional<std::vector<uint8_t>> read_file(std::string_view utf8_path) {
  File file = open_file(utf8_path, FileMode::kRead);
  if (!file) return std::nullopt;
  std::vector<uint8_t> bytes;
  for (;;) {
    const size_t used = bytes.size();
    bytes.resize(used + kReadChunkBytes);
    const size_t got = std::fread(bytes.data() + used, 1, kReadChunkBytes, file.get());
    bytes.resize(used + got);
    if (got < kReadChunkBytes) break;
  }
  if (std::ferror(file.get())) return std::nullopt;
  return bytes;
}

bool write_file(std::string_view utf8_path, std::string_view bytes) {
  File file = open_file(utf8_path, FileMode::kWrite);
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  // The close flushes the buffered bytes: its result counts.
  const bool closed = std::fclose(file.release()) == 0;
  return written && closed;
}

bool write_line(Stream stream, std::string_view text) {
  std::string line(text);
  line.push_back('\n');
  return write_text(stream, line);
}

}  // namespace calvex_host::platform
