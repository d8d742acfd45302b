// Test host: drives the library through its C exports the way a host does,
// and checks what reaches the NV image and the message sink.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "calvex.h"

namespace calvex_test {

// Messages that every family's sheets show.
inline constexpr const char* kDone = "修改完成！";
inline constexpr const char* kOpenFailedWrite = "文件打开失败！";
inline constexpr const char* kOpenFailedRead = "获取bin文件失败！";
inline constexpr const char* kCellCountMismatch = "cell表格个数不符！";
inline constexpr const char* kNotHex = "非16进制数！";

// Captures every message box while alive (CalvexSetMessageSink), restores
// the default sink on destruction. texts() are UTF-8.
class MessageLog {
 public:
  MessageLog();
  ~MessageLog();
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;
  const std::vector<std::string>& texts() const { return texts_; }
  void clear() { texts_.clear(); }

 private:
  static void CALVEX_CALL sink(const CalvexChar* text, void* context);
  std::vector<std::string> texts_;
};

// One range's texts (UTF-8) as the host passes them; handles are created with
// CalvexTextNew and released when the Sheet is destroyed.
struct RangeTexts {
  std::vector<std::string> cells;
  int32_t rows = -1;  // bounds: rows x cols; -1 means one column of cells.size()
  int32_t cols = 1;
};

// Calls a write export with the given ranges (each passed as a column of
// cells unless rows/cols say otherwise) and a fresh binPath handle.
void call_write(void(CALVEX_CALL* fn)(const CellRange*, int32_t, CalvexText), const std::vector<RangeTexts>& ranges,
                const std::string& path);

// Calls a write export with explicit bounds for each range (x1, y1, x2, y2),
// cells in array order.
struct BoundedRange {
  std::vector<std::string> cells;
  int32_t x1, y1, x2, y2;
};
void call_write_bounded(void(CALVEX_CALL* fn)(const CellRange*, int32_t, CalvexText),
                        const std::vector<BoundedRange>& ranges, const std::string& path);

// The output of a read export.
struct ReadResult {
  std::vector<std::string> texts;  // UTF-8
  std::vector<int32_t> marks;
};
// Calls a read export with cellCount cells (texts initialised to "?", mark -1).
ReadResult call_read(void(CALVEX_CALL* fn)(SheetCell*, int32_t, CalvexText), int32_t cellCount,
                     const std::string& path);

// A temporary directory removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// File helpers.
std::vector<uint8_t> read_file(const std::string& path);
void write_file(const std::string& path, const std::vector<uint8_t>& bytes);
// size bytes of a deterministic pseudo-random pattern from seed.
std::vector<uint8_t> random_bytes(size_t size, uint32_t seed);

// Little-endian views of an image.
uint32_t le16(const std::vector<uint8_t>& image, size_t offset);
uint32_t le32(const std::vector<uint8_t>& image, size_t offset);
int32_t le16s(const std::vector<uint8_t>& image, size_t offset);

// The one little-endian poke of the tests: stores the low `size` bytes of
// value at offset of an image (throws std::out_of_range past its end).
void put_le(std::vector<uint8_t>& image, size_t offset, uint64_t value, size_t size);
inline void put_le16(std::vector<uint8_t>& image, size_t offset, uint32_t value) { put_le(image, offset, value, 2); }
inline void put_le32(std::vector<uint8_t>& image, size_t offset, uint32_t value) { put_le(image, offset, value, 4); }

// The bytes [offset, offset + size) of an image.
std::vector<uint8_t> bytes_at(const std::vector<uint8_t>& image, size_t offset, size_t size);

// A byte span [offset, offset + size) of an image.
struct Span {
  size_t offset;
  size_t size;
};
// Offsets where after differs from before outside the given spans (and
// beyond the shorter of the two images' sizes, any size difference counts).
// Empty when only the spans changed.
std::vector<size_t> changes_outside(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                                    const std::vector<Span>& spans);

// Numbers as cell texts.
std::vector<std::string> texts_of(const std::vector<int64_t>& values);
std::vector<std::string> repeat_text(const std::string& text, size_t count);

}  // namespace calvex_test
