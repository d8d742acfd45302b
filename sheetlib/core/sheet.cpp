#include "sheet.h"

#include <stdexcept>

namespace calvex {

std::optional<std::vector<Cells>> take_ranges(const WriteArgs& args, const Message& on_bad_range_count,
                                              std::span<const RangeRule> rules) {
  if (args.range_count() < 0 || static_cast<size_t>(args.range_count()) != rules.size()) {
    show(on_bad_range_count);
    return std::nullopt;
  }
  std::vector<Cells> cells;
  cells.reserve(rules.size());
  for (size_t i = 0; i < rules.size(); ++i) {
    if (args.cell_count(static_cast<int32_t>(i)) != rules[i].cells) {
      show(*rules[i].on_mismatch);
      return std::nullopt;
    }
    cells.push_back(args.copy_range(static_cast<int32_t>(i)));
  }
  return cells;
}

void fill_cells(ReadCells& out, std::span<const std::u16string> texts, int32_t mark) {
  for (size_t i = 0; i < texts.size(); ++i) out.assign(static_cast<int32_t>(i), texts[i], mark);
}

bool open_nv(NvFile& file, const std::u16string& path, NvFile::Mode mode, const Message* on_fail) {
  if (file.open(path, mode)) return true;
  if (on_fail != nullptr) show(*on_fail);
  return false;
}

bool load_blocks(const std::u16string& path, NvFile::Mode mode, std::initializer_list<NvBlock*> blocks,
                 const Message* on_fail) {
  NvFile file;
  if (!open_nv(file, path, mode, on_fail)) return false;
  for (NvBlock* block : blocks) block->load(file);
  file.close();
  return true;
}

bool store_blocks(const std::u16string& path, std::initializer_list<const NvBlock*> blocks, const Message& on_fail) {
  NvFile file;
  if (!open_nv(file, path, NvFile::Mode::ReadWrite, &on_fail)) return false;
  for (const NvBlock* block : blocks) block->store(file);
  file.close();
  return true;
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
