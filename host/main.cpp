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

#include "catalogue.h"
#include "csv.h"
#include "library.h"
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

std::string utf8_of(std::u16string_view text) { return utf8_from_utf16(text); }

std::u16string utf16_of(std::string_view utf8) { return utf16_from_utf8(utf8); }

// Prints the library's messages, one line each on standard error.
void print_messages(const Outcome& outcome) {
  for (const ShownMessage& m : outcome.messages) std::fprintf(stderr, "%s\n", utf8_of(m.text).c_str());
}

// The layout switch value for a sheet: --layout if given, else the sheet's own.
int32_t layout_for(const SheetEntry& entry, const std::optional<int32_t>& layout) {
  if (layout) return *layout;
  return entry.layout == calvex::NvLayout::Merged ? 1 : 0;
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

int cmd_list() {
  for (const SheetEntry* e : all_sheets()) {
    std::cout << calvex::family_name(e->family) << "\t" << e->name << "\t" << (e->has_read() ? "write+read" : "write") << "\t" << e->summary
              << "\n";
    for (const RangeShape& s : e->ranges) {
      std::cout << "\t\trange " << s.name << ": " << s.rows << " x " << s.cols << " (" << s.rows * s.cols
                << " cells)\n";
    }
    if (e->has_read()) std::cout << "\t\tread: " << e->read_count() << " cells\n";
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

  SheetCells texts(cells.size());
  for (size_t r = 0; r < cells.size(); ++r) {
    for (const std::string& c : cells[r]) texts[r].push_back(utf16_of(c));
  }
  std::vector<std::u16string> back;
  const Outcome outcome = call_sheet_write(entry, texts, utf16_of(image), layout_for(entry, layout), &back);
  print_messages(outcome);

  const int status = outcome.write_succeeded() ? kExitOk : kExitRefused;
  if (entry.write_with_back != nullptr) {
    std::vector<std::string> out;
    for (const std::u16string& t : back) out.push_back(utf8_of(t));
    if (!write_output(format_range(std::string(entry.write_back_name), static_cast<int>(out.size()), 1, out),
                      out_path)) {
      return kExitUsage;
    }
  }
  return status;
}

int cmd_read(const SheetEntry& entry, const std::string& image, const std::optional<std::string>& out_path,
             const std::optional<int32_t>& layout) {
  if (!entry.has_read()) {
    std::cerr << "calvex: sheet " << entry.name << " has no read operation\n";
    return kExitUsage;
  }
  std::vector<std::u16string> out;
  const Outcome outcome = call_sheet_read(entry, out, utf16_of(image), layout_for(entry, layout));
  print_messages(outcome);
  if (outcome.has(calvex::MsgClass::Error)) return kExitRefused;

  const SheetCells read = cells_from_read(entry, out);
  RangeCells cells(read.size());
  for (size_t r = 0; r < read.size(); ++r) {
    for (const std::u16string& t : read[r]) cells[r].push_back(utf8_of(t));
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
