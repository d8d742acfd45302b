// calvex: moves sheets between sheet files (CSV) and NV images through the
// Calvex library, as the host application does from its grid.
//
// Exit status: 0 when no error message was shown (and a write showed its
// success message), 1 when the library refused or failed, 2 for usage and
// sheet-file errors.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "calvex.h"
#include "catalogue.h"
#include "csv.h"
#include "messages_class.h"
#include "unicode.h"

namespace {

using namespace calvex_host;

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: calvex [--layout single|merged] <command> [arguments]\n"
    "\n"
    "commands:\n"
    "  list                               the sheets this host knows, with their ranges\n"
    "  template SHEET [-o FILE]           an empty sheet file to fill in\n"
    "  write SHEET NV.bin SHEET.csv [-o FILE]\n"
    "                                     write a sheet file into an NV image\n"
    "  read SHEET NV.bin [-o SHEET.csv]   read a sheet back from an NV image\n"
    "\n"
    "--layout selects the LTE NV layout for the LTE sheets (default: the sheet's own,\n"
    "else single). `calvex <command> --help` describes one command.\n";

constexpr const char* kListHelp = "usage: calvex list\n  Lists every sheet: family, name, ranges (rows x columns), read support.\n";
constexpr const char* kTemplateHelp =
    "usage: calvex template SHEET [-o FILE]\n"
    "  Prints an empty sheet file for SHEET: a `#range,<name>` marker row in front of\n"
    "  each range, followed by its rows of empty cells.\n";
constexpr const char* kWriteHelp =
    "usage: calvex write SHEET NV.bin SHEET.csv [-o FILE]\n"
    "  Writes the sheet file into the existing NV image. Sheet files are CSV in UTF-8\n"
    "  (with or without BOM), UTF-16 with BOM, or GB18030. Every message of the library\n"
    "  is printed on standard error, one per line. Sheets whose write fills cells back\n"
    "  (the MIPI device USIDs of PinMuxMipiInit) print them as a range block on standard\n"
    "  output, or into FILE with -o.\n";
constexpr const char* kReadHelp =
    "usage: calvex read SHEET NV.bin [-o SHEET.csv]\n"
    "  Reads the sheet from the NV image and prints it as a sheet file (UTF-8), or\n"
    "  writes it to the file given with -o. The output is valid input of `write`.\n";

// Collects the library's message boxes: one line each on standard error.
struct MessageTally {
  bool error = false;
  bool success = false;
};

std::string utf8_of(const CalvexChar* text) { return utf8_from_utf16(std::u16string_view(text)); }

std::u16string utf16_of(std::string_view utf8) { return utf16_from_utf8(utf8); }

void CALVEX_CALL print_message(const CalvexChar* text, void* context) {
  auto* tally = static_cast<MessageTally*>(context);
  std::fprintf(stderr, "%s\n", utf8_of(text).c_str());
  switch (classify_message(std::u16string_view(text))) {
    case MessageClass::Success:
      tally->success = true;
      break;
    case MessageClass::Warning:
      break;
    case MessageClass::Error:
      tally->error = true;
      break;
  }
}

// Library text handles owned by the host, released on every path.
class TextArray {
 public:
  TextArray() = default;
  TextArray(const TextArray&) = delete;
  TextArray& operator=(const TextArray&) = delete;
  ~TextArray() {
    for (CalvexText t : texts_) CalvexTextRelease(t);
  }
  CalvexText* add(const std::vector<std::string>& cells) {
    const size_t first = texts_.size();
    for (const std::string& c : cells) {
      CalvexText t = CalvexTextNew(utf16_of(c).c_str());
      if (t == nullptr) throw std::bad_alloc();
      texts_.push_back(t);
    }
    return texts_.data() + first;
  }
  void reserve(size_t n) { texts_.reserve(n); }

 private:
  std::vector<CalvexText> texts_;
};

class CellArray {
 public:
  explicit CellArray(size_t n) : cells_(n) {
    for (SheetCell& c : cells_) {
      c.text = CalvexTextNew(u"");
      c.mark = 0;
      if (c.text == nullptr) throw std::bad_alloc();
    }
  }
  ~CellArray() {
    for (SheetCell& c : cells_) CalvexTextRelease(c.text);
  }
  CellArray(const CellArray&) = delete;
  CellArray& operator=(const CellArray&) = delete;
  SheetCell* data() { return cells_.data(); }
  size_t size() const { return cells_.size(); }
  std::string text(size_t i) const { return utf8_of(cells_[i].text); }

 private:
  std::vector<SheetCell> cells_;
};

CalvexText path_text(const std::string& path) {
  CalvexText t = CalvexTextNew(utf16_of(path).c_str());
  if (t == nullptr) throw std::bad_alloc();
  return t;
}

void apply_layout(const SheetEntry& entry, const std::optional<int32_t>& layout) {
  if (layout) {
    SetLteVersion(*layout);
  } else if (entry.layout == Layout::Merged) {
    SetLteVersion(1);
  } else {
    SetLteVersion(0);
  }
}

bool write_output(const std::string& text, const std::optional<std::string>& out_path) {
  if (!out_path) {
    std::cout << text;
    std::cout.flush();
    return static_cast<bool>(std::cout);
  }
  std::ofstream out(*out_path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    std::cerr << "calvex: cannot write " << *out_path << "\n";
    return false;
  }
  return true;
}

int read_count(const SheetEntry& entry) {
  if (entry.read_cells > 0) return entry.read_cells;
  int n = 0;
  for (const RangeShape& s : entry.ranges) n += s.rows * s.cols;
  return n;
}

int cmd_list() {
  for (const SheetEntry* e : all_sheets()) {
    std::cout << e->family << "\t" << e->name << "\t" << (e->read ? "write+read" : "write") << "\t" << e->summary
              << "\n";
    for (const RangeShape& s : e->ranges) {
      std::cout << "\t\trange " << s.name << ": " << s.rows << " x " << s.cols << " (" << s.rows * s.cols
                << " cells)\n";
    }
    if (e->read) std::cout << "\t\tread: " << read_count(*e) << " cells\n";
  }
  return kExitOk;
}

const SheetEntry* sheet_or_complain(const std::string& name) {
  const SheetEntry* e = find_sheet(name);
  if (e == nullptr) std::cerr << "calvex: unknown sheet '" << name << "' (see `calvex list`)\n";
  return e;
}

int cmd_template(const SheetEntry& entry, const std::optional<std::string>& out_path) {
  return write_output(format_sheet_file(entry, {}), out_path) ? kExitOk : kExitUsage;
}

int cmd_write(const SheetEntry& entry, const std::string& image, const std::string& sheet_path,
              const std::optional<std::string>& out_path, const std::optional<int32_t>& layout) {
  std::ifstream in(sheet_path, std::ios::binary);
  if (!in) {
    std::cerr << "calvex: cannot read " << sheet_path << "\n";
    return kExitUsage;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  RangeCells cells;
  try {
    cells = parse_sheet_file(entry, decode_text(bytes));
  } catch (const FormatError& e) {
    if (e.line() > 0) {
      std::cerr << sheet_path << ":" << e.line() << ": " << e.what() << "\n";
    } else {
      std::cerr << sheet_path << ": " << e.what() << "\n";
    }
    return kExitUsage;
  }

  TextArray texts;
  size_t total = 0;
  for (const auto& r : cells) total += r.size();
  texts.reserve(total);
  std::vector<CellRange> ranges;
  for (size_t r = 0; r < entry.ranges.size(); ++r) {
    const RangeShape& s = entry.ranges[r];
    ranges.push_back(CellRange{texts.add(cells[r]), 0, 0, s.cols - 1, s.rows - 1});
  }

  MessageTally tally;
  CalvexSetMessageSink(print_message, &tally);
  apply_layout(entry, layout);
  std::optional<CellArray> back;
  if (entry.write_with_back != nullptr) {
    back.emplace(static_cast<size_t>(entry.write_back_cells));
    entry.write_with_back(ranges.data(), static_cast<int32_t>(ranges.size()), path_text(image), back->data(),
                          static_cast<int32_t>(back->size()));
  } else {
    entry.write(ranges.data(), static_cast<int32_t>(ranges.size()), path_text(image));
  }
  CalvexSetMessageSink(nullptr, nullptr);

  const int status = (!tally.error && tally.success) ? kExitOk : kExitRefused;
  if (back) {
    std::vector<std::string> out;
    for (size_t i = 0; i < back->size(); ++i) out.push_back(back->text(i));
    if (!write_output(format_range(entry.write_back_name, static_cast<int>(out.size()), 1, out), out_path)) {
      return kExitUsage;
    }
  }
  return status;
}

int cmd_read(const SheetEntry& entry, const std::string& image, const std::optional<std::string>& out_path,
             const std::optional<int32_t>& layout) {
  if (entry.read == nullptr) {
    std::cerr << "calvex: sheet " << entry.name << " has no read operation\n";
    return kExitUsage;
  }
  CellArray out(static_cast<size_t>(read_count(entry)));
  MessageTally tally;
  CalvexSetMessageSink(print_message, &tally);
  apply_layout(entry, layout);
  entry.read(out.data(), static_cast<int32_t>(out.size()), path_text(image));
  CalvexSetMessageSink(nullptr, nullptr);
  if (tally.error) return kExitRefused;

  RangeCells cells(entry.ranges.size());
  for (size_t r = 0; r < entry.ranges.size(); ++r) {
    cells[r].assign(static_cast<size_t>(entry.ranges[r].rows * entry.ranges[r].cols), std::string());
  }
  if (entry.read_runs.empty()) {
    size_t k = 0;
    for (size_t r = 0; r < entry.ranges.size(); ++r) {
      for (auto& cell : cells[r]) cell = out.text(k++);
    }
  } else {
    size_t k = 0;
    for (const ReadRun& run : entry.read_runs) {
      for (int i = 0; i < run.count && k < out.size(); ++i, ++k) {
        auto& range = cells[static_cast<size_t>(run.range)];
        const size_t at = static_cast<size_t>(run.first + i * run.step);
        if (at < range.size()) range[at] = out.text(k);
      }
    }
  }
  return write_output(format_sheet_file(entry, cells), out_path) ? kExitOk : kExitUsage;
}

bool wants_help(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

// Splits "-o FILE" off args.
bool take_output(std::vector<std::string>& args, std::optional<std::string>& out_path) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o") {
      if (i + 1 >= args.size()) return false;
      out_path = args[i + 1];
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      return true;
    }
  }
  return true;
}

int run(std::vector<std::string> args) {
  std::optional<int32_t> layout;
  while (!args.empty() && args[0].rfind("--", 0) == 0) {
    if (args[0] == "--help") {
      std::cout << kUsage;
      return kExitOk;
    }
    if (args[0] == "--layout" && args.size() >= 2 && (args[1] == "single" || args[1] == "merged")) {
      layout = args[1] == "single" ? 0 : 1;
      args.erase(args.begin(), args.begin() + 2);
      continue;
    }
    std::cerr << kUsage;
    return kExitUsage;
  }
  if (args.empty()) {
    std::cerr << kUsage;
    return kExitUsage;
  }
  const std::string command = args[0];
  args.erase(args.begin());
  std::optional<std::string> out_path;

  if (command == "list") {
    if (wants_help(args)) return std::cout << kListHelp, kExitOk;
    if (!args.empty()) return std::cerr << kListHelp, kExitUsage;
    return cmd_list();
  }
  if (command == "template") {
    if (wants_help(args)) return std::cout << kTemplateHelp, kExitOk;
    if (!take_output(args, out_path) || args.size() != 1) return std::cerr << kTemplateHelp, kExitUsage;
    const SheetEntry* e = sheet_or_complain(args[0]);
    return e ? cmd_template(*e, out_path) : kExitUsage;
  }
  if (command == "write") {
    if (wants_help(args)) return std::cout << kWriteHelp, kExitOk;
    if (!take_output(args, out_path) || args.size() != 3) return std::cerr << kWriteHelp, kExitUsage;
    const SheetEntry* e = sheet_or_complain(args[0]);
    return e ? cmd_write(*e, args[1], args[2], out_path, layout) : kExitUsage;
  }
  if (command == "read") {
    if (wants_help(args)) return std::cout << kReadHelp, kExitOk;
    if (!take_output(args, out_path) || args.size() != 2) return std::cerr << kReadHelp, kExitUsage;
    const SheetEntry* e = sheet_or_complain(args[0]);
    return e ? cmd_read(*e, args[1], out_path, layout) : kExitUsage;
  }
  std::cerr << "calvex: unknown command '" << command << "'\n" << kUsage;
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::cerr << "calvex: " << e.what() << "\n";
    return kExitUsage;
  }
}
