// The platform layer on Linux: stdio with byte paths, iconv for GB18030.
#include <iconv.h>

#include "platform.h"

namespace calvex_host::platform {
namespace {

// UTF-8 takes at most 4 bytes for a character that GB18030 encodes in 1 to 4,
// so 4 output bytes per input byte always suffice.
constexpr size_t kUtf8BytesPerGb18030Byte = 4;

}  // namespace

File open_file(std::string_view utf8_path, FileMode mode) {
  const std::string path(utf8_path);
  return File(std::fopen(path.c_str(), mode == FileMode::kRead ? "rb" : "wb"));
}

bool write_text(Stream stream, std::string_view text) {
  std::FILE* out = stream == Stream::kOut ? stdout : stderr;
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  return std::fflush(out) == 0 && written;
}

std::optional<std::string> utf8_from_gb18030(const std::vector<uint8_t>& bytes) {
  iconv_t cd = iconv_open("UTF-8", "GB18030");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(bytes.size() * kUtf8BytesPerGb18030Byte, '\0');
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  size_t in_left = bytes.size();
  char* dst = out.data();
  size_t out_left = out.size();
  const size_t rc = iconv(cd, &in, &in_left, &dst, &out_left);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1) || in_left != 0) return std::nullopt;
  out.resize(out.size() - out_left);
  return out;
}

std::vector<std::string> arguments(int argc, char** argv) {
  if (argc < 1) return {};
  return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace calvex_host::platform
