#include "test_host.h"

#include "unicode.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

namespace calvex_test {
namespace {

std::string to_utf8(const CalvexChar* text) {
  return text == nullptr ? std::string() : calvex_host::utf8_from_utf16(std::u16string_view(text));
}

std::u16string to_utf16(const std::string& s) { return calvex_host::utf16_from_utf8(s); }

// Handles for one call, released afterwards.
struct Handles {
  std::vector<std::vector<CalvexText>> ranges;
  ~Handles() {
    for (auto& r : ranges)
      for (CalvexText t : r) CalvexTextRelease(t);
  }
  CalvexText* add(const std::vector<std::string>& cells) {
    ranges.emplace_back();
    for (const std::string& c : cells) ranges.back().push_back(CalvexTextNew(to_utf16(c).c_str()));
    return ranges.back().data();
  }
};

CalvexText path_handle(const std::string& path) { return CalvexTextNew(to_utf16(path).c_str()); }

}  // namespace

MessageLog::MessageLog() { CalvexSetMessageSink(&MessageLog::sink, this); }
MessageLog::~MessageLog() { CalvexSetMessageSink(nullptr, nullptr); }
void CALVEX_CALL MessageLog::sink(const CalvexChar* text, void* context) {
  static_cast<MessageLog*>(context)->texts_.push_back(to_utf8(text));
}

void call_write(void(CALVEX_CALL* fn)(const CellRange*, int32_t, CalvexText), const std::vector<RangeTexts>& ranges,
                const std::string& path) {
  Handles handles;
  std::vector<CellRange> records;
  for (const RangeTexts& r : ranges) {
    CalvexText* cells = handles.add(r.cells);
    const int32_t rows = r.rows < 0 ? static_cast<int32_t>(r.cells.size()) : r.rows;
    records.push_back(CellRange{cells, 0, 0, r.cols - 1, rows - 1});
  }
  fn(records.data(), static_cast<int32_t>(records.size()), path_handle(path));
}

void call_write_bounded(void(CALVEX_CALL* fn)(const CellRange*, int32_t, CalvexText),
                        const std::vector<BoundedRange>& ranges, const std::string& path) {
  Handles handles;
  std::vector<CellRange> records;
  for (const BoundedRange& r : ranges) records.push_back(CellRange{handles.add(r.cells), r.x1, r.y1, r.x2, r.y2});
  fn(records.data(), static_cast<int32_t>(records.size()), path_handle(path));
}

ReadResult call_read(void(CALVEX_CALL* fn)(SheetCell*, int32_t, CalvexText), int32_t cellCount,
                     const std::string& path) {
  std::vector<SheetCell> cells(static_cast<size_t>(cellCount > 0 ? cellCount : 0));
  for (SheetCell& c : cells) c = SheetCell{CalvexTextNew(u"?"), -1};
  fn(cells.data(), cellCount, path_handle(path));
  ReadResult r;
  for (SheetCell& c : cells) {
    r.texts.push_back(to_utf8(c.text));
    r.marks.push_back(c.mark);
    CalvexTextRelease(c.text);
  }
  return r;
}

TempDir::TempDir() {
  std::random_device rd;
  std::mt19937_64 gen(rd());
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = std::filesystem::temp_directory_path() / ("calvex-test-" + std::to_string(gen()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> random_bytes(size_t size, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> out(size);
  for (uint8_t& b : out) b = static_cast<uint8_t>(gen() >> 24);
  return out;
}

uint32_t le16(const std::vector<uint8_t>& image, size_t offset) {
  if (offset + 2 > image.size()) throw std::out_of_range("le16 beyond the image");
  return image[offset] | (static_cast<uint32_t>(image[offset + 1]) << 8);
}

uint32_t le32(const std::vector<uint8_t>& image, size_t offset) {
  if (offset + 4 > image.size()) throw std::out_of_range("le32 beyond the image");
  return image[offset] | (static_cast<uint32_t>(image[offset + 1]) << 8) |
         (static_cast<uint32_t>(image[offset + 2]) << 16) | (static_cast<uint32_t>(image[offset + 3]) << 24);
}

int32_t le16s(const std::vector<uint8_t>& image, size_t offset) { return static_cast<int16_t>(le16(image, offset)); }

void put_le(std::vector<uint8_t>& image, size_t offset, uint64_t value, size_t size) {
  if (offset > image.size() || size > image.size() - offset) throw std::out_of_range("put_le beyond the image");
  for (size_t i = 0; i < size; ++i) image[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> bytes_at(const std::vector<uint8_t>& image, size_t offset, size_t size) {
  if (offset > image.size() || size > image.size() - offset) throw std::out_of_range("bytes_at beyond the image");
  return {image.begin() + static_cast<std::ptrdiff_t>(offset),
          image.begin() + static_cast<std::ptrdiff_t>(offset + size)};
}

std::vector<size_t> changes_outside(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                                    const std::vector<Span>& spans) {
  std::vector<size_t> out;
  const size_t n = std::max(before.size(), after.size());
  for (size_t i = 0; i < n; ++i) {
    bool inside = false;
    for (const Span& s : spans) {
      if (i >= s.offset && i < s.offset + s.size) {
        inside = true;
        break;
      }
    }
    if (inside) continue;
    if (i >= before.size() || i >= after.size() || before[i] != after[i]) out.push_back(i);
  }
  return out;
}

std::vector<std::string> texts_of(const std::vector<int64_t>& values) {
  std::vector<std::string> out;
  for (int64_t v : values) out.push_back(std::to_string(v));
  return out;
}

std::vector<std::string> repeat_text(const std::string& text, size_t count) {
  return std::vector<std::string>(count, text);
}

}  // namespace calvex_test
