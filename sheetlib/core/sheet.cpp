#include "sheet.h"

#include <algorithm>
#include <stdexcept>

#include "sheet_def.h"

namespace calvex {

bool range_count_ok(const WriteArgs& args, const SheetDef& def, NvLayout layout) {
  if (args.range_count() >= 0 && static_cast<size_t>(args.range_count()) == def.ranges.size()) return true;
  show(*def.range_count_message(layout));
  return false;
}

bool cell_count_ok(const WriteArgs& args, const SheetDef& def, size_t range) {
  if (args.cell_count(static_cast<int32_t>(range)) == def.ranges[range].count()) return true;
  show(*def.ranges[range].on_cell_count);
  return false;
}

std::optional<std::vector<Cells>> take_ranges(const WriteArgs& args, const SheetDef& def, NvLayout layout) {
  if (!range_count_ok(args, def, layout)) return std::nullopt;
  std::vector<Cells> cells;
  cells.reserve(def.ranges.size());
  for (size_t i = 0; i < def.ranges.size(); ++i) {
    if (!cell_count_ok(args, def, i)) return std::nullopt;
    cells.push_back(args.copy_range(static_cast<int32_t>(i)));
  }
  return cells;
}

void require_in_blocks(const SheetDef& def, NvLayout layout, std::span<const NvBlock* const> blocks) {
  // A staged block may span adjacent listed blocks (a marker and the values after it).
  for (const NvBlock* block : blocks) {
    uint64_t pos = block->offset;
    const uint64_t end = pos + block->bytes.size();
    while (pos < end) {
      uint64_t next = pos;
      for (const NvSpan& span : def.blocks) {
        const uint64_t span_end = uint64_t{span.offset} + span.size;
        if (span.in_layout(layout) && !span.read_only && pos >= span.offset && pos < span_end) {
          next = std::max(next, span_end);
        }
      }
      if (next == pos) throw std::logic_error("a staged block lies outside the sheet's NV blocks");
      pos = next;
    }
  }
}

bool store_sheet_blocks(const std::u16string& path, const SheetDef& def, NvLayout layout,
                        std::span<const NvBlock* const> blocks, const Message& on_fail) {
  require_in_blocks(def, layout, blocks);
  return store_blocks(path, blocks, on_fail);
}

bool store_sheet_blocks(const std::u16string& path, const SheetDef& def, NvLayout layout,
                        std::initializer_list<const NvBlock*> blocks, const Message& on_fail) {
  return store_sheet_blocks(path, def, layout, std::span<const NvBlock* const>(blocks.begin(), blocks.size()), on_fail);
}

std::vector<NvBlock> stage_writable_blocks(const SheetDef& def, NvLayout layout) {
  std::vector<NvBlock> blocks;
  for (const NvSpan& span : def.blocks) {
    if (span.in_layout(layout) && !span.read_only) blocks.emplace_back(span.offset, span.size);
  }
  return blocks;
}

void fill_cells(ReadCells& out, std::span<const std::u16string> texts, int32_t mark) {
  for (size_t i = 0; i < texts.size(); ++i) out.assign(static_cast<int32_t>(i), texts[i], mark);
}

bool open_nv(NvFile& file, const std::u16string& path, NvFile::Mode mode, const Message* on_fail) {
  if (file.open(path, mode)) return true;
  if (on_fail != nullptr) show(*on_fail);
  return false;
}

NvBlock value_block(uint32_t offset, uint32_t value, size_t width) {
  if (width > sizeof(uint32_t)) throw std::out_of_range("NV value width");
  NvBlock block(offset, width);
  uint8_t bytes[4];
  store_le32(bytes, value);
  std::copy_n(bytes, block.bytes.size(), block.bytes.begin());
  return block;
}

void load_blocks(NvFile& file, std::initializer_list<NvBlock*> blocks) {
  for (NvBlock* block : blocks) file.read_at(block->offset, block->bytes);
}

void load_blocks(NvFile& file, std::span<NvBlock> blocks) {
  for (NvBlock& block : blocks) file.read_at(block.offset, block.bytes);
}

bool load_blocks(const std::u16string& path, NvFile::Mode mode, std::initializer_list<NvBlock*> blocks,
                 const Message* on_fail) {
  NvFile file;
  if (!open_nv(file, path, mode, on_fail)) return false;
  load_blocks(file, blocks);
  file.close();
  return true;
}

namespace {

// A contiguous stretch of the image that one positioned write stores.
struct Run {
  uint64_t offset;
  std::vector<uint8_t> bytes;
  uint64_t end() const { return offset + bytes.size(); }
};

// The runs covering blocks, by offset; bytes where blocks overlap come from
// the later block in the list.
std::vector<Run> coalesce(std::span<const NvBlock* const> blocks) {
  std::vector<const NvBlock*> by_offset(blocks.begin(), blocks.end());
  std::stable_sort(by_offset.begin(), by_offset.end(),
                   [](const NvBlock* a, const NvBlock* b) { return a->offset < b->offset; });
  std::vector<Run> runs;
  for (const NvBlock* block : by_offset) {
    if (block->bytes.empty()) continue;
    const uint64_t end = uint64_t{block->offset} + block->bytes.size();
    if (!runs.empty() && block->offset <= runs.back().end()) {
      if (end > runs.back().end()) runs.back().bytes.resize(static_cast<size_t>(end - runs.back().offset));
    } else {
      runs.push_back(Run{block->offset, std::vector<uint8_t>(block->bytes.size())});
    }
  }
  for (const NvBlock* block : blocks) {
    if (block->bytes.empty()) continue;
    auto run = std::upper_bound(runs.begin(), runs.end(), uint64_t{block->offset},
                                [](uint64_t offset, const Run& r) { return offset < r.offset; });
    --run;
    std::copy(block->bytes.begin(), block->bytes.end(),
              run->bytes.begin() + static_cast<std::ptrdiff_t>(block->offset - run->offset));
  }
  return runs;
}

// Puts back the old bytes of the first `touched` runs and the old length;
// best effort, as the store has already failed.
void restore_runs(NvFile& file, std::span<const Run> runs, std::span<const std::vector<uint8_t>> old_bytes,
                  size_t touched, uint64_t old_size) noexcept {
  for (size_t i = 0; i < touched; ++i) {
    if (runs[i].offset >= old_size) continue;
    const auto kept = static_cast<size_t>(std::min<uint64_t>(runs[i].bytes.size(), old_size - runs[i].offset));
    try {
      file.write_at(runs[i].offset, std::span<const uint8_t>(old_bytes[i]).first(kept));
    } catch (const IoError&) {
    }
  }
  try {
    if (file.size() != old_size) file.truncate(old_size);
    file.sync();
  } catch (const IoError&) {
  }
}

}  // namespace

void store_blocks(NvFile& file, std::span<const NvBlock* const> blocks) {
  const std::vector<Run> runs = coalesce(blocks);
  if (runs.empty()) return;
  const uint64_t old_size = file.size();
  std::vector<std::vector<uint8_t>> old_bytes;
  old_bytes.reserve(runs.size());
  for (const Run& run : runs) {
    old_bytes.emplace_back(run.bytes.size());
    file.read_at(run.offset, old_bytes.back());
  }
  size_t written = 0;
  try {
    for (; written < runs.size(); ++written) file.write_at(runs[written].offset, runs[written].bytes);
    file.sync();
  } catch (const IoError&) {
    restore_runs(file, runs, old_bytes, std::min(written + 1, runs.size()), old_size);
    throw;
  }
}

bool store_blocks(const std::u16string& path, std::span<const NvBlock* const> blocks, const Message& on_fail) {
  NvFile file;
  if (!open_nv(file, path, NvFile::Mode::ReadWrite, &on_fail)) return false;
  store_blocks(file, blocks);
  file.close();
  return true;
}

bool store_blocks(const std::u16string& path, std::initializer_list<const NvBlock*> blocks, const Message& on_fail) {
  return store_blocks(path, std::span<const NvBlock* const>(blocks.begin(), blocks.size()), on_fail);
}

std::vector<const NvBlock*> block_refs(std::span<const NvBlock> blocks) {
  std::vector<const NvBlock*> refs;
  refs.reserve(blocks.size());
  for (const NvBlock& block : blocks) refs.push_back(&block);
  return refs;
}

NvBlock NvBlock::slice(uint32_t from, size_t size) const {
  if (from < offset) throw std::out_of_range("NV block slice");
  const uint8_t* first = at(from - offset, size);
  NvBlock part(from, size);
  std::copy_n(first, size, part.bytes.begin());
  return part;
}

uint8_t* NvBlock::at(size_t pos, size_t width) {
  if (pos > bytes.size() || width > bytes.size() - pos) throw std::out_of_range("NV block position");
  return bytes.data() + pos;
}

const uint8_t* NvBlock::at(size_t pos, size_t width) const {
  if (pos > bytes.size() || width > bytes.size() - pos) throw std::out_of_range("NV block position");
  return bytes.data() + pos;
}

}  // namespace calvex
