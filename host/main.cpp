// calvex: moves sheets between sheet files and NV images through the sheet
// library, and checks every cell before the library sees it.
//
// Exit status: 0 done; 1 the library refused or failed, or the image cannot
// be used (the image is then byte for byte as it was); 2 usage, sheet-file
// or cell errors (nothing was written).
#include <CLI/CLI.hpp>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cmd_common.h"
#include "commands.h"
#include "identify.h"
#include "json_out.h"
#include "nv_map.h"
#include "platform.h"
#include "safe_file.h"

namespace {

using namespace calvex_host;

constexpr const char* kDescription =
    "calvex moves RF calibration sheets between sheet files (CSV) and NV images.\n"
    "Every cell is checked against its sheet before anything is written (--lenient\n"
    "passes cells to the library as they are); a write changes the image only when\n"
    "the library reports success, and replaces it in one step.\n";

constexpr const char* kFooter =
    "\nExit status: 0 done; 1 the library refused or failed, or the image cannot be\n"
    "used (the image is left as it was); 2 usage, sheet-file or cell errors.\n"
    "A sheet file is CSV (comma, semicolon or tab; UTF-8, UTF-16 or GB18030): for each\n"
    "range a row '#range,<name>' followed by its rows; `calvex template SHEET` prints one.\n"
    "Rows starting with '#' that are no marker, and cells outside every range, are not read.\n"
    "write and read also take a workbook (.xlsx): the worksheet whose '#sheet' row names\n"
    "the sheet, else the one named after it.\n"
    "diff exits 0 when the images are equal, 1 when they differ, 2 on errors.\n"
    "An output that is an input of another kind (the image as the workbook, the sheet\n"
    "file as the image) is refused. A symbolic link to an image is kept and its target\n"
    "replaced, with its owner, group and mode; an image with other names (hard links)\n"
    "is refused, since those would keep the old data (-o NEW writes a copy). Readers\n"
    "share an image; a writer waits for others up to --wait seconds.\n";

struct Command {
  std::string sheet;
  std::string image;
  std::vector<std::string> paths;  // apply, verify, diff: the workbook and images
};

// "OFFSET+LENGTH" (each decimal or 0x hex) as a byte range; false when it is not one.
bool parse_byte_range(const std::string& text, ByteRange* range) {
  const size_t plus = text.find('+');
  if (plus == std::string::npos || plus == 0 || plus + 1 == text.size()) return false;
  const auto number = [](const std::string& digits, uint64_t* value) {
    size_t used = 0;
    try {
      *value = std::stoull(digits, &used, 0);
    } catch (const std::exception&) {
      return false;
    }
    return used == digits.size() && digits[0] != '-';
  };
  return number(text.substr(0, plus), &range->offset) && number(text.substr(plus + 1), &range->length);
}

int dispatch(CLI::App& app, const Command& c, const std::string& golden, const std::string& format,
             const Options& options);

int run(const std::vector<std::string>& arguments) {
  CLI::App app{kDescription, "calvex"};
  app.set_version_flag("--version", std::string("calvex ") + CALVEX_VERSION);
  app.footer(kFooter);
  app.require_subcommand(1);

  Options options;
  std::string layout;
  app.add_option("--layout", layout, "LTE NV layout of the LTE sheets (default: single)")
      ->check(CLI::IsMember({"single", "merged"}));
  app.add_flag("--lenient", options.lenient, "pass cells to the library unchecked, as the Windows host does");
  app.add_flag("--dry-run", options.dry_run, "write: show what would change, write nothing");
  app.add_flag("--grow", options.grow, "write: extend an image too short for the sheet");
  app.add_flag("--allow-short", options.allow_short, "read: read an image too short for the sheet (missing bytes as 0)");
  std::string output;
  app.add_option("-o,--output", output,
                 "write: the new image (the input stays as it is); read, template: the sheet file ('-': stdout); "
                 "dump: the workbook or folder; diff: a workbook of the second image, its changes marked");
  std::string write_back;
  std::string family_name;
  app.add_option("--family", family_name, "the family of the sheets and the image: common, gsm, ltea, lte, tdscdma or wcdma")
      ->check(CLI::IsMember({"common", "gsm", "ltea", "lte", "tdscdma", "wcdma"}));
  app.add_flag("--force", options.force,
               "write into an image that seems to be of another family or layout, or of another size than the workbook's");
  app.add_option("--write-back", write_back, "write, apply: where write-back cells go (default: standard output)");
  std::string encoding;
  app.add_option("--encoding", encoding, "write: the sheet file's encoding instead of the detected one: utf-8, utf-16le, utf-16be or gb18030")
      ->check(CLI::IsMember({"utf-8", "utf-16le", "utf-16be", "gb18030"}, CLI::ignore_case));
  double wait_seconds = kDefaultLockWaitSeconds;
  app.add_option("--wait", wait_seconds, "how long to wait for an image another program holds (seconds, default 5)")
      ->check(CLI::NonNegativeNumber);

  Command c;
  auto* list = app.add_subcommand("list", "the sheets, their ranges and read support");
  auto* describe = app.add_subcommand("describe", "a sheet's ranges, cell kinds, keywords and NV blocks");
  describe->add_option("sheet", c.sheet, "sheet name")->required();
  auto* templ = app.add_subcommand("template", "an empty sheet file to fill in");
  templ->add_option("sheet", c.sheet, "sheet name")->required();
  auto* write = app.add_subcommand("write", "write a sheet file into an NV image");
  write->add_option("sheet", c.sheet, "sheet name")->required();
  write->add_option("paths", c.paths,
                    "IMAGE FILE: the NV image (changed only on success) and the sheet file ('-': standard input); "
                    "or FILE IMAGE...: the sheet file and the images it goes into, each image all or nothing")
      ->required()
      ->expected(2, -1);
  auto* read = app.add_subcommand("read", "read a sheet back from an NV image (valid input of write)");
  read->add_option("sheet", c.sheet, "sheet name")->required();
  read->add_option("image", c.image, "NV image")->required();
  std::string format = "text";
  auto* dump = app.add_subcommand("dump", "every readable sheet of a family into one workbook (-o BOOK.xlsx) or folder (-o DIR/)");
  dump->add_option("image", c.image, "NV image")->required();
  auto* apply = app.add_subcommand(
      "apply", "write every sheet of a workbook into NV images (BOOK.xlsx IMAGE... or IMAGE BOOK.xlsx), each all or nothing");
  apply->add_option("paths", c.paths, "the workbook (.xlsx, told by its content) and the NV images (each changed only when every sheet succeeds)")
      ->required()
      ->expected(2, -1);
  auto* verify = app.add_subcommand("verify", "whether NV images already hold what a workbook says (exit 1 when one would change)");
  verify->add_option("paths", c.paths, "the workbook (.xlsx) and the NV images")->required()->expected(2, -1);
  auto* diff = app.add_subcommand("diff", "the cells and other bytes in which two images of a family differ");
  std::string golden;
  diff->add_option("images", c.paths, "two NV images, or with --golden the images to compare with it")
      ->required()
      ->expected(1, -1);
  diff->add_option("--golden", golden, "the image every other one is compared with");
  diff->add_option("--format", format, "text, csv or json")->check(CLI::IsMember({"text", "csv", "json"}));
  std::vector<std::string> ignored;
  for (CLI::App* sub : {diff, verify}) {
    sub->add_option("--ignore", ignored, "OFFSET+LENGTH: bytes left out of the comparison (repeatable)");
  }
  std::string report;
  app.add_flag("--quiet", options.quiet, "apply, verify, diff, write of many images: only failures and the total");
  app.add_option("--report", report, "apply, verify, diff, write of many images: a report per image (FILE.csv or FILE.json)");
  auto* identify = app.add_subcommand("identify", "the families and LTE layouts an NV image's bytes are consistent with");
  identify->add_option("image", c.image, "NV image")->required();
  for (CLI::App* sub : {list, describe, read, identify, write, apply, verify}) {
    sub->add_option("--format", format, "text or json (the document of docs/json.md; -o FILE.json takes it)")
        ->check(CLI::IsMember({"text", "json"}));
  }
    auto* map = app.add_subcommand("map", "the family's NV layout from the sheet definitions: a Kaitai Struct description (.ksy), JSON or an ImHex pattern");
  std::string map_format = "ksy";
  map->add_option("--format", map_format, "ksy (default), json or hexpat")->check(CLI::IsMember({"ksy", "json", "hexpat"}));
  for (CLI::App* sub : {list, describe, templ, write, read, dump, apply, verify, diff, identify, map}) sub->fallthrough();

  // Whether `word` names an option that takes a value, by the options
  // defined above (on calvex or on any of its commands).
  std::vector<CLI::App*> option_owners = app.get_subcommands([](CLI::App*) { return true; });
  option_owners.push_back(&app);
  const auto takes_value = [&option_owners](const std::string& word) {
    for (const CLI::App* owner : option_owners) {
      const CLI::Option* option = owner->get_option_no_throw(word);
      if (option != nullptr) return option->get_items_expected_min() > 0;
    }
    return false;
  };
  // A word where the command belongs that is no command: name it (CLI11
  // would only say that a command is missing).
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (takes_value(a)) {
      ++i;
      continue;
    }
    if (a.empty() || a[0] == '-') continue;
    const auto known = app.get_subcommands([&a](CLI::App* sub) { return sub->get_name() == a; });
    if (known.empty()) {
      platform::write_line(platform::Stream::kErr, "calvex: unknown command '" + a + "' (see `calvex --help`)");
      return kExitUsage;
    }
    break;
  }
  try {
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    app.parse(reversed);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e) == 0 ? kExitOk : kExitUsage;
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e) == 0 ? kExitOk : kExitUsage;
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e) == 0 ? kExitOk : kExitUsage;
  } catch (const CLI::ParseError& e) {
    platform::write_line(platform::Stream::kErr, std::string("calvex: ") + e.what());
    platform::write_line(platform::Stream::kErr, "Run with --help for more information.");
    return kExitUsage;
  }
  set_lock_wait_seconds(wait_seconds);
  if (!layout.empty()) options.layout = layout == "merged" ? 1 : 0;
  if (!output.empty()) options.output = output;
  if (!write_back.empty()) options.write_back = write_back;
  if (!encoding.empty()) options.encoding = encoding;
  if (!report.empty()) options.report = report;
  for (const std::string& text : ignored) {
    ByteRange range;
    if (!parse_byte_range(text, &range)) {
      platform::write_line(platform::Stream::kErr, "calvex: --ignore " + text + ": not OFFSET+LENGTH");
      return kExitUsage;
    }
    options.ignore.push_back(range);
  }

  for (const SheetEntry* s : all_sheets()) {
    if (!family_name.empty() && calvex::family_name(s->family) == family_name) options.family = s->family;
  }

  // map has its own formats (ksy, json, hexpat): its JSON is the map, not
  // the document of the other commands.
  if (*map) {
    if (!options.family) {
      err("calvex: map needs --family (common, gsm, ltea, lte, tdscdma or wcdma)");
      return kExitUsage;
    }
    return cmd_map(*options.family, options, map_format);
  }

  // --format json: the document goes to standard output, or to an -o
  // FILE.json (apply's -o stays the new image).
  const bool json = format == "json";
  std::optional<std::string> json_file;
  if (json && options.output && is_json_path(*options.output) && !*apply && !*write) {
    json_file = options.output;
    options.output.reset();
    std::vector<std::string> inputs = c.paths;
    if (!c.image.empty()) inputs.push_back(c.image);
    if (!golden.empty()) inputs.push_back(golden);
    for (const std::string& input : inputs) {
      if (output_is_input(*json_file, "JSON output", input, "input")) return kExitUsage;
    }
  }
  set_json_output(json);
  const std::string command_name = app.get_subcommands().front()->get_name();
  const int status = dispatch(app, c, golden, format, options);
  if (!json) return status;
  std::string error;
  if (!write_file_safely(json_file.value_or("-"), json_document(command_name, status), &error)) {
    platform::write_line(platform::Stream::kErr, "calvex: " + error);
    return std::max(status, kExitUsage);
  }
  return status;
}

// Runs the command the line named; returns its exit status.
int dispatch(CLI::App& app, const Command& c, const std::string& golden, const std::string& format,
             const Options& options) {
  const auto named = [&app](const char* name) { return app.got_subcommand(name); };
  if (named("list")) return cmd_list();
  const bool identify = named("identify");
  const bool dump = named("dump");
  const bool diff = named("diff");
  const bool apply = named("apply");
  const bool verify = named("verify");
  const bool describe = named("describe");
  const bool templ = named("template");
  const bool write = named("write");
  const bool read = named("read");
  if (identify) return cmd_identify(c.image, options);
  if (dump || diff) {
    if (!options.family) {
      err(std::string("calvex: ") + (dump ? "dump" : "diff") + " needs --family (common, gsm, ltea, lte, tdscdma or wcdma)");
      return kExitUsage;
    }
    if (dump) return cmd_dump(c.image, *options.family, options);
    if (!golden.empty() && options.output) {
      err("calvex: diff -o DIFF.xlsx compares two images; with --golden use --report FILE.csv");
      return kExitUsage;
    }
    if (!golden.empty()) return cmd_diff_golden(golden, c.paths, *options.family, options, format == "csv");
    if (c.paths.size() != 2) {
      err("calvex: diff compares two images (or --golden G.bin IMAGE...)");
      return kExitUsage;
    }
    return cmd_diff(c.paths[0], c.paths[1], *options.family, options, format == "csv");
  }
  if (apply) return cmd_apply_many(c.paths, options);
  if (verify) return cmd_verify(c.paths, options);
  const SheetEntry* sheet = find_sheet_or_suggest(c.sheet);
  if (sheet == nullptr) return kExitUsage;
  if (describe) return cmd_describe(*sheet);
  if (templ) return cmd_template(*sheet, options);
  if ((write || read) && sheet_outside_family(*sheet, options)) return kExitUsage;
  if (write && c.paths.size() == 2) return cmd_write(*sheet, c.paths[0], c.paths[1], options);
  if (write) return cmd_write_many(*sheet, c.paths[0], {c.paths.begin() + 1, c.paths.end()}, options);
  return cmd_read(*sheet, c.image, options);
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  // A sheet file on standard input arrives byte for byte (UTF-16, CR LF).
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  calvex_host::set_file_notice([](const std::string& line) { calvex_host::err(line); });
  try {
    return run(calvex_host::platform::arguments(argc, argv));
  } catch (const std::bad_alloc&) {
    calvex_host::platform::write_line(calvex_host::platform::Stream::kErr, "calvex: out of memory");
  } catch (...) {
    calvex_host::platform::write_line(calvex_host::platform::Stream::kErr, "calvex: internal error");
  }
  return calvex_host::kExitUsage;
}
