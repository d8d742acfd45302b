// What a sheet's code works with: the host's ranges and output cells as plain
// C++ values, the range-check and copy step, and NV blocks staged in memory.
// Only the boundary layer (boundary.h) knows about text handles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "le.h"
#include "messages.h"
#include "nvfile.h"
#include "readers.h"
#include "sink.h"
#include "text.h"

namespace calvex {

// Copied texts of one range, in the host's array order.
using Cells = std::vector<std::u16string>;

// The ranges a write operation received.
class WriteArgs {
 public:
  virtual ~WriteArgs() = default;
  // The host's range count; negative (matching no sheet) when the host
  // passed no ranges but a positive count.
  virtual int32_t range_count() const = 0;
  // Cell count of range i, (y2 - y1 + 1) * (x2 - x1 + 1) in 64-bit arithmetic
  // (INT64_MAX if even that overflows); negative (matching no sheet) when the
  // extent names cells but the host passed no cells.
  virtual int64_t cell_count(int32_t i) const = 0;
  // Copies of the texts of range i (cell_count(i) of them; 0 if negative).
  virtual Cells copy_range(int32_t i) const = 0;
};

// The output cells a read operation received.
class ReadCells {
 public:
  virtual ~ReadCells() = default;
  virtual int32_t count() const = 0;
  // Assigns text and mark to cell i; indexes outside [0, count()) are ignored.
  virtual void assign(int32_t i, std::u16string_view text, int32_t mark) = 0;
  // Assigns text to cell i and leaves its mark as the host set it.
  virtual void set_text(int32_t i, std::u16string_view text) = 0;
};

// A sheet operation as the static library runs it (ops.h names each one).
using WriteBody = void (*)(const WriteArgs& args, const std::u16string& path);
using ReadBody = void (*)(ReadCells& out, const std::u16string& path);
using WriteBackBody = void (*)(const WriteArgs& args, const std::u16string& path, ReadCells& writeBack);

// Runs an operation for an in-process caller as the exports run it: nothing
// escapes; an I/O error after the open shows "bin文件读写出错，操作未完成！".
void call_write(WriteBody body, const WriteArgs& args, const std::u16string& path) noexcept;
void call_read(ReadBody body, ReadCells& out, const std::u16string& path) noexcept;
void call_write_back(WriteBackBody body, const WriteArgs& args, const std::u16string& path,
                     ReadCells& writeBack) noexcept;

// Assigns texts[i] with mark to output cell i, for every i.
void fill_cells(ReadCells& out, std::span<const std::u16string> texts, int32_t mark);

// Opens path in mode; on failure shows on_fail (if given) and returns false.
bool open_nv(NvFile& file, const std::u16string& path, NvFile::Mode mode, const Message* on_fail);

// Stored sizes of the 16- and 32-bit little-endian values, in bytes.
inline constexpr size_t kLe16Size = 2;
inline constexpr size_t kLe32Size = 4;

// One contiguous block of an NV image staged in memory: its absolute offset
// and its bytes, zeroed on creation.
struct NvBlock {
  uint32_t offset;
  std::vector<uint8_t> bytes;

  NvBlock(uint32_t block_offset, size_t size) : offset(block_offset), bytes(size, 0) {}

  // Little-endian access by byte position within the block (bounds-checked:
  // a position outside the block is a programming error and throws).
  void put8(size_t pos, uint32_t v) { store_le8(at(pos, 1), v); }
  void put16(size_t pos, uint32_t v) { store_le16(at(pos, 2), v); }
  void put32(size_t pos, uint32_t v) { store_le32(at(pos, 4), v); }
  uint32_t get8(size_t pos) const { return load_le8(at(pos, 1)); }
  uint32_t get16(size_t pos) const { return load_le16(at(pos, 2)); }
  uint32_t get32(size_t pos) const { return load_le32(at(pos, 4)); }
  int32_t get8s(size_t pos) const { return load_le8_signed(at(pos, 1)); }
  int32_t get16s(size_t pos) const { return load_le16_signed(at(pos, 2)); }
  int32_t get32s(size_t pos) const { return load_le32_signed(at(pos, 4)); }

  // A copy of the bytes [offset, offset + size) of this block (offset
  // absolute); a span outside the block is a programming error and throws.
  NvBlock slice(uint32_t offset, size_t size) const;

 private:
  uint8_t* at(size_t pos, size_t width);
  const uint8_t* at(size_t pos, size_t width) const;
};

// A block holding value little-endian in its low width bytes (1, 2 or 4).
NvBlock value_block(uint32_t offset, uint32_t value, size_t width);

// Loads each block from the open file with one positioned read (a short
// image leaves the rest of a block as it was).
void load_blocks(NvFile& file, std::initializer_list<NvBlock*> blocks);
void load_blocks(NvFile& file, std::span<NvBlock> blocks);

// Opens path in mode and loads each block in order, then closes. On a failed
// open shows on_fail (if given), leaves the blocks as they were and returns false.
bool load_blocks(const std::u16string& path, NvFile::Mode mode, std::initializer_list<NvBlock*> blocks,
                 const Message* on_fail);

// Stores blocks into the open file as one change, the only way staged bytes
// reach an image. Adjacent and overlapping blocks are coalesced into runs
// (where blocks overlap, the later one in the list wins) and each run is
// written with one positioned write. The old bytes of every run and the
// file's length are read before the first write; if a write or the final sync
// fails, the runs already written are put back, the file is cut back to its
// old length, and IoError is raised. On return the bytes are on the storage
// device.
void store_blocks(NvFile& file, std::span<const NvBlock* const> blocks);

// Opens path read/write, stores the blocks (as above), then closes. On a
// failed open shows on_fail, writes nothing and returns false.
bool store_blocks(const std::u16string& path, std::span<const NvBlock* const> blocks, const Message& on_fail);
bool store_blocks(const std::u16string& path, std::initializer_list<const NvBlock*> blocks, const Message& on_fail);
// Every block of a list staged by value, in order (for store_blocks).
std::vector<const NvBlock*> block_refs(std::span<const NvBlock> blocks);

}  // namespace calvex
