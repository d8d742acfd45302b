#include "xlsx_read.h"

#include <expat.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <set>

#include "safe_file.h"
#include "sheet_format.h"

#include "utf.h"

namespace calvex_host {
namespace {

constexpr size_t kPartReadChunk = 64 * 1024;
// Integral values shown as integers, and the fixed-notation range of General.
constexpr double kGeneralIntegerLimit = 1e15;
constexpr double kGeneralFixedMin = 1e-5;
constexpr size_t kNumberTextMax = 64;
constexpr uint32_t kColumnLetters = 26;
// _xHHHH_ escapes a UTF-16 code unit in a string of the package.
constexpr size_t kEscapeLength = 7;
constexpr size_t kEscapeHexDigits = 4;
constexpr char kNamespaceSeparator = ' ';  // cannot occur in a namespace URI or a name

constexpr std::string_view kMacroExtensions[] = {".xlsm", ".xltm", ".xlam"};
constexpr std::string_view kVbaProjectName = "vbaproject.bin";

using Attributes = const XML_Char**;

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

bool ends_with_nocase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && lower(s.substr(s.size() - suffix.size())) == suffix;
}

std::string_view local_name(std::string_view name) {
  const size_t sep = name.rfind(kNamespaceSeparator);
  return sep == std::string_view::npos ? name : name.substr(sep + 1);
}

std::string_view namespace_of(std::string_view name) {
  const size_t sep = name.rfind(kNamespaceSeparator);
  return sep == std::string_view::npos ? std::string_view() : name.substr(0, sep);
}

// The value of the attribute with this local name; with rel_namespace, only an
// attribute of the package relationships namespace (transitional or strict).
std::optional<std::string_view> attribute(Attributes attrs, std::string_view local, bool rel_namespace = false) {
  for (size_t i = 0; attrs[i]; i += 2) {
    const std::string_view name = attrs[i];
    if (local_name(name) != local) continue;
    if (rel_namespace != namespace_of(name).ends_with("/relationships")) continue;
    return std::string_view(attrs[i + 1]);
  }
  return std::nullopt;
}

std::optional<uint32_t> parse_uint(std::string_view text) {
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<CellRef> parse_cell_name(std::string_view name) {
  CellRef ref;
  size_t i = 0;
  for (; i < name.size() && std::isalpha(static_cast<unsigned char>(name[i])); ++i) {
    ref.col = ref.col * kColumnLetters + static_cast<uint32_t>(std::toupper(static_cast<unsigned char>(name[i])) - 'A' + 1);
    if (ref.col > kWorksheetColMax) return std::nullopt;
  }
  const auto row = parse_uint(name.substr(i));
  if (i == 0 || !row || *row == 0 || *row > kWorksheetRowMax) return std::nullopt;
  ref.row = *row;
  return ref;
}

std::optional<uint32_t> escaped_unit(std::string_view s, size_t pos) {
  if (s.size() - pos < kEscapeLength || s[pos] != '_' || s[pos + 1] != 'x' || s[pos + kEscapeLength - 1] != '_')
    return std::nullopt;
  uint32_t unit = 0;
  const char* digits = s.data() + pos + 2;
  const auto [end, ec] = std::from_chars(digits, digits + kEscapeHexDigits, unit, 16);
  if (ec != std::errc() || end != digits + kEscapeHexDigits) return std::nullopt;
  return unit;
}

// Decodes _xHHHH_ escapes (control characters, and "_x005F_" for a literal '_').
std::string decode_escapes(std::string_view s) {
  if (s.find("_x") == std::string_view::npos) return std::string(s);
  std::string out;
  for (size_t i = 0; i < s.size();) {
    const auto unit = escaped_unit(s, i);
    if (!unit) {
      out += s[i++];
      continue;
    }
    char32_t cp = *unit;
    size_t used = kEscapeLength;
    if (calvex::utf::is_high_surrogate(cp)) {
      const auto low = escaped_unit(s, i + kEscapeLength);
      if (!low || !calvex::utf::is_low_surrogate(*low)) {
        out += s[i++];
        continue;
      }
      cp = calvex::utf::combine_surrogates(cp, *low);
      used += kEscapeLength;
    } else if (calvex::utf::is_low_surrogate(cp)) {
      out += s[i++];
      continue;
    }
    calvex::utf::append_utf8(out, cp);
    i += used;
  }
  return out;
}

// Receives the events of one XML part; names are "namespace local" or local.
class XmlHandler {
 public:
  virtual ~XmlHandler() = default;
  virtual void start(std::string_view name, Attributes attrs) = 0;
  virtual void end(std::string_view name) = 0;
  virtual void text(std::string_view) {}
};

struct ParserDeleter {
  void operator()(XML_Parser p) const { XML_ParserFree(p); }
};

struct ParseContext {
  XmlHandler* handler;
  XML_Parser parser;
  std::exception_ptr error;
  bool doctype;
  size_t depth = 0;
  bool too_deep = false;
};

// Handlers never let an exception cross the parser: they keep it and stop it.
template <typename Call>
void guarded(void* data, Call&& call) {
  auto* context = static_cast<ParseContext*>(data);
  if (context->error) return;
  try {
    call(*context->handler);
  } catch (...) {
    context->error = std::current_exception();
    XML_StopParser(context->parser, XML_FALSE);
  }
}

void XMLCALL on_start(void* data, const XML_Char* name, Attributes attrs) {
  auto* context = static_cast<ParseContext*>(data);
  if (++context->depth > kXmlDepthMax) {
    context->too_deep = true;
    XML_StopParser(context->parser, XML_FALSE);
    return;
  }
  guarded(data, [&](XmlHandler& handler) { handler.start(name, attrs); });
}
void XMLCALL on_end(void* data, const XML_Char* name) {
  --static_cast<ParseContext*>(data)->depth;
  guarded(data, [&](XmlHandler& handler) { handler.end(name); });
}
void XMLCALL on_text(void* data, const XML_Char* text, int length) {
  guarded(data, [&](XmlHandler& handler) { handler.text(std::string_view(text, static_cast<size_t>(length))); });
}
// The parts of a package never declare a DTD; refusing one rules out entity expansion.
void XMLCALL on_doctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  auto* context = static_cast<ParseContext*>(data);
  context->doctype = true;
  XML_StopParser(context->parser, XML_FALSE);
}

// The package being read: its zip archive and the name that starts every message.
class Package {
 public:
  Package(const std::vector<uint8_t>& bytes, std::string_view display_name) : name_(display_name) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (source) archive_ = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (source && !archive_) zip_source_free(source);
    zip_error_fini(&error);
    if (!archive_) fail("not an .xlsx workbook (not a zip archive)");
  }
  ~Package() { zip_discard(archive_); }
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  [[noreturn]] void fail(const std::string& what) const { throw WorkbookError(name_ + ": " + what); }

  bool has_vba_project() const {
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
      const char* entry = zip_get_name(archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
      if (entry && ends_with_nocase(entry, kVbaProjectName)) return true;
    }
    return false;
  }

  // Parses the part as it is decompressed; false when the package has no
  // such part. Part names are case-insensitive.
  bool parse_part(const std::string& part, XmlHandler& handler) const {
    const zip_int64_t index = zip_name_locate(archive_, part.c_str(), ZIP_FL_NOCASE | ZIP_FL_ENC_RAW);
    if (index < 0) return false;
    parse_entry(static_cast<zip_uint64_t>(index), part, handler);
    return true;
  }

  void require_and_parse(const std::string& part, XmlHandler& handler) const {
    if (!parse_part(part, handler)) fail("not an .xlsx workbook (part " + part + " is missing)");
  }

  zip_t* archive() const { return archive_; }

  // handler nullptr: the entry is decompressed and checked only.
  void parse_entry(zip_uint64_t index, const std::string& part, XmlHandler* handler) const {
    zip_stat_t stat;
    zip_stat_init(&stat);
    // The size the archive declares is checked first (it may lie: the bytes
    // decompressed are counted too).
    if (zip_stat_index(archive_, index, 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) != 0 &&
        stat.size > kWorkbookPartSizeMax)
      fail("part " + part + " is larger than " + std::to_string(kWorkbookPartSizeMax >> 20) + " MiB");
    zip_file_t* file = zip_fopen_index(archive_, index, 0);
    if (!file) fail("part " + part + " cannot be read: " + zip_strerror(archive_));
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> owner(file, zip_fclose);
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser;
    ParseContext context{handler, nullptr, nullptr, false};
    if (handler != nullptr) {
      parser.reset(XML_ParserCreateNS(nullptr, kNamespaceSeparator));
      if (!parser) fail("out of memory parsing part " + part);
      context.parser = parser.get();
      XML_SetUserData(parser.get(), &context);
      XML_SetElementHandler(parser.get(), on_start, on_end);
      XML_SetCharacterDataHandler(parser.get(), on_text);
      XML_SetStartDoctypeDeclHandler(parser.get(), on_doctype);
    }
    std::vector<char> chunk(kPartReadChunk);
    size_t part_bytes = 0;
    bool final = false;
    while (!final) {
      const zip_int64_t got = zip_fread(file, chunk.data(), chunk.size());
      if (got < 0) fail("part " + part + " is damaged: " + zip_file_strerror(file));
      final = got == 0;
      part_bytes += static_cast<size_t>(got);
      total_bytes_ += static_cast<size_t>(got);
      if (part_bytes > kWorkbookPartSizeMax)
        fail("part " + part + " is larger than " + std::to_string(kWorkbookPartSizeMax >> 20) + " MiB");
      if (total_bytes_ > kWorkbookPartBytesTotalMax)
        fail("its parts are larger than " + std::to_string(kWorkbookPartBytesTotalMax >> 20) + " MiB together");
      if (handler == nullptr) continue;
      const XML_Status status = XML_Parse(parser.get(), chunk.data(), static_cast<int>(got), final ? XML_TRUE : XML_FALSE);
      if (context.error) std::rethrow_exception(context.error);
      if (context.doctype) fail("part " + part + " holds a document type declaration");
      if (context.too_deep)
        fail("part " + part + " nests elements deeper than " + std::to_string(kXmlDepthMax));
      if (status != XML_STATUS_OK) {
        fail("part " + part + " is not well-formed XML (line " +
             std::to_string(XML_GetCurrentLineNumber(parser.get())) + ": " +
             XML_ErrorString(XML_GetErrorCode(parser.get())) + ")");
      }
    }
  }

  void parse_entry(zip_uint64_t index, const std::string& part, XmlHandler& handler) const {
    parse_entry(index, part, &handler);
  }

  // Text of cells and shared strings read so far; fails beyond the budget.
  void count_text(size_t bytes) const {
    text_bytes_ += bytes;
    if (text_bytes_ > kWorkbookTextBytesMax)
      fail("its cell texts are longer than " + std::to_string(kWorkbookTextBytesMax >> 20) + " MiB together");
  }

 private:
  std::string name_;
  zip_t* archive_ = nullptr;
  mutable size_t total_bytes_ = 0;
  mutable size_t text_bytes_ = 0;
};

// A relationship target resolved against the folder of its source part.
std::string resolve_target(std::string_view source_part, std::string_view target) {
  std::vector<std::string> segments;
  std::string_view path = target;
  if (target.starts_with('/')) {
    path.remove_prefix(1);
  } else {
    const size_t slash = source_part.rfind('/');
    std::string_view dir = slash == std::string_view::npos ? std::string_view() : source_part.substr(0, slash);
    while (!dir.empty()) {
      const size_t next = dir.find('/');
      segments.emplace_back(dir.substr(0, next));
      dir = next == std::string_view::npos ? std::string_view() : dir.substr(next + 1);
    }
  }
  while (!path.empty()) {
    const size_t next = path.find('/');
    const std::string_view segment = path.substr(0, next);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.emplace_back(segment);
    }
    path = next == std::string_view::npos ? std::string_view() : path.substr(next + 1);
  }
  std::string out;
  for (const auto& segment : segments) out += (out.empty() ? "" : "/") + segment;
  return out;
}

std::string rels_part_of(std::string_view part) {
  const size_t slash = part.rfind('/');
  const std::string_view dir = slash == std::string_view::npos ? std::string_view() : part.substr(0, slash + 1);
  const std::string_view file = slash == std::string_view::npos ? part : part.substr(slash + 1);
  return std::string(dir) + "_rels/" + std::string(file) + ".rels";
}

struct Relationship {
  std::string type;    // the type URI's last segment: "worksheet", "sharedStrings", ...
  std::string target;  // the part name, resolved
};

class RelationshipsHandler : public XmlHandler {
 public:
  explicit RelationshipsHandler(std::string_view source_part) : source_part_(source_part) {}
  std::map<std::string, Relationship> by_id;

  void start(std::string_view name, Attributes attrs) override {
    if (local_name(name) != "Relationship") return;
    const auto id = attribute(attrs, "Id"), type = attribute(attrs, "Type"), target = attribute(attrs, "Target");
    const auto mode = attribute(attrs, "TargetMode");
    if (!id || !type || !target || (mode && *mode == "External")) return;
    const size_t slash = type->rfind('/');
    by_id[std::string(*id)] = {std::string(slash == std::string_view::npos ? *type : type->substr(slash + 1)),
                               resolve_target(source_part_, *target)};
  }
  void end(std::string_view) override {}

 private:
  std::string source_part_;
};

std::map<std::string, Relationship> read_relationships(const Package& package, const std::string& source_part) {
  RelationshipsHandler handler(source_part);
  package.parse_part(rels_part_of(source_part), handler);
  return std::move(handler.by_id);
}

struct SheetEntry {
  std::string name;
  std::string rel_id;
};

class WorkbookHandler : public XmlHandler {
 public:
  explicit WorkbookHandler(const Package& package) : package_(package) {}
  std::vector<SheetEntry> sheets;
  void start(std::string_view name, Attributes attrs) override {
    if (local_name(name) != "sheet") return;
    if (sheets.size() >= kWorkbookSheetCountMax)
      package_.fail("more than " + std::to_string(kWorkbookSheetCountMax) + " sheets");
    const auto sheet_name = attribute(attrs, "name");
    const auto id = attribute(attrs, "id", true);
    sheets.push_back({std::string(sheet_name.value_or("")), std::string(id.value_or(""))});
  }
  void end(std::string_view) override {}

 private:
  const Package& package_;
};

// Collects the text of <t> elements inside one element (a shared string item
// or an inline string), skipping phonetic runs.
class StringCollector {
 public:
  void start(std::string_view local) {
    if (local == "rPh") ++phonetic_depth_;
    if (local == "t" && phonetic_depth_ == 0) in_text_ = true;
  }
  void end(std::string_view local) {
    if (local == "rPh" && phonetic_depth_ > 0) --phonetic_depth_;
    if (local == "t") in_text_ = false;
  }
  void text(std::string_view s) {
    if (in_text_) text_ += s;
  }
  std::string take() {
    std::string out = decode_escapes(text_);
    text_.clear();
    in_text_ = false;
    phonetic_depth_ = 0;
    return out;
  }

 private:
  std::string text_;
  bool in_text_ = false;
  int phonetic_depth_ = 0;
};

class SharedStringsHandler : public XmlHandler {
 public:
  explicit SharedStringsHandler(const Package& package) : package_(package) {}
  std::vector<std::string> strings;

  void start(std::string_view name, Attributes) override {
    const std::string_view local = local_name(name);
    if (local == "si") {
      if (strings.size() >= kWorkbookCellCountMax)
        package_.fail("more than " + std::to_string(kWorkbookCellCountMax) + " shared strings");
      in_item_ = true;
    } else if (in_item_) {
      collector_.start(local);
    }
  }
  void end(std::string_view name) override {
    const std::string_view local = local_name(name);
    if (local == "si" && in_item_) {
      strings.push_back(collector_.take());
      in_item_ = false;
    } else if (in_item_) {
      collector_.end(local);
    }
  }
  void text(std::string_view s) override {
    if (in_item_) {
      package_.count_text(s.size());
      collector_.text(s);
    }
  }

 private:
  const Package& package_;
  StringCollector collector_;
  bool in_item_ = false;
};

// Built-in number formats that show dates or times (ids 14-22 and 45-47 in
// every locale, 27-36 and 50-58 in East Asian ones).
constexpr std::pair<uint32_t, uint32_t> kBuiltinDateFormats[] = {{14, 22}, {27, 36}, {45, 47}, {50, 58}};

bool is_builtin_date_format(uint32_t id) {
  return std::any_of(std::begin(kBuiltinDateFormats), std::end(kBuiltinDateFormats),
                     [id](const auto& span) { return id >= span.first && id <= span.second; });
}

// Which cell styles (the <xf> entries of <cellXfs>, by index) show dates.
class StylesHandler : public XmlHandler {
 public:
  explicit StylesHandler(const Package& package) : package_(package) {}
  std::vector<bool> date_styles;

  void start(std::string_view name, Attributes attrs) override {
    const std::string_view local = local_name(name);
    if (local == "numFmt") {
      const auto id = attribute(attrs, "numFmtId");
      const auto code = attribute(attrs, "formatCode");
      const auto number = id ? parse_uint(*id) : std::nullopt;
      if (number && code) custom_dates_[*number] = is_date_format_code(*code);
    } else if (local == "cellXfs") {
      in_cell_xfs_ = true;
    } else if (local == "xf" && in_cell_xfs_) {
      if (date_styles.size() >= kWorkbookCellCountMax)
        package_.fail("more than " + std::to_string(kWorkbookCellCountMax) + " cell styles");
      const auto id = attribute(attrs, "numFmtId");
      const uint32_t format = id ? parse_uint(*id).value_or(0) : 0;
      const auto custom = custom_dates_.find(format);
      date_styles.push_back(custom != custom_dates_.end() ? custom->second : is_builtin_date_format(format));
    }
  }
  void end(std::string_view name) override {
    if (local_name(name) == "cellXfs") in_cell_xfs_ = false;
  }

 private:
  const Package& package_;
  std::map<uint32_t, bool> custom_dates_;
  bool in_cell_xfs_ = false;
};

class WorksheetHandler : public XmlHandler {
 public:
  WorksheetHandler(const Package& package, const std::vector<std::string>& shared,
                   const std::vector<bool>& date_styles, WorkbookSheet& sheet, size_t& cell_count)
      : package_(package), shared_(shared), date_styles_(date_styles), sheet_(sheet), cell_count_(cell_count) {}

  void start(std::string_view name, Attributes attrs) override {
    const std::string_view local = local_name(name);
    if (local == "sheetData") {
      in_data_ = true;
    } else if (!in_data_) {
      return;
    } else if (local == "row") {
      start_row(attrs);
    } else if (local == "c") {
      start_cell(attrs);
    } else if (in_cell_ && local == "v") {
      in_value_ = true;
    } else if (in_cell_ && local == "is") {
      in_inline_ = true;
    } else if (in_inline_) {
      inline_.start(local);
    }
  }

  void end(std::string_view name) override {
    const std::string_view local = local_name(name);
    if (local == "sheetData") {
      in_data_ = false;
    } else if (!in_data_) {
      return;
    } else if (local == "c" && in_cell_) {
      finish_cell();
    } else if (local == "v") {
      in_value_ = false;
    } else if (local == "is") {
      in_inline_ = false;
    } else if (in_inline_) {
      inline_.end(local);
    }
  }

  void text(std::string_view s) override {
    if (in_value_ || in_inline_) package_.count_text(s.size());
    if (in_value_) value_ += s;
    if (in_inline_) inline_.text(s);
  }

 private:
  [[noreturn]] void fail_cell(const std::string& what) const {
    package_.fail("worksheet '" + sheet_.name + "' cell " + cell_name(ref_) + ": " + what);
  }

  void start_row(Attributes attrs) {
    const auto r = attribute(attrs, "r");
    const auto row = r ? parse_uint(*r) : std::optional<uint32_t>(row_ + 1);
    if (!row || *row == 0 || *row > kWorksheetRowMax)
      package_.fail("worksheet '" + sheet_.name + "' has a row numbered '" + std::string(r.value_or("")) + "'");
    row_ = *row;
    next_col_ = 1;
  }

  void start_cell(Attributes attrs) {
    const auto r = attribute(attrs, "r");
    if (r) {
      const auto ref = parse_cell_name(*r);
      if (!ref) package_.fail("worksheet '" + sheet_.name + "' has a cell named '" + std::string(*r) + "'");
      ref_ = *ref;
    } else {
      if (row_ == 0) row_ = 1;
      if (next_col_ > kWorksheetColMax) package_.fail("worksheet '" + sheet_.name + "' has a row beyond column XFD");
      ref_ = {row_, next_col_};
    }
    row_ = ref_.row;
    next_col_ = ref_.col + 1;
    type_ = std::string(attribute(attrs, "t").value_or("n"));
    const auto style = attribute(attrs, "s");
    const auto style_index = style ? parse_uint(*style) : std::nullopt;
    date_style_ = style_index && *style_index < date_styles_.size() && date_styles_[*style_index];
    value_.clear();
    inline_.take();
    in_cell_ = true;
  }

  void finish_cell() {
    in_cell_ = in_value_ = in_inline_ = false;
    std::string text;
    std::optional<NumberCell> number_cell;
    if (type_ == "s" && !value_.empty()) {
      const auto index = parse_uint(value_);
      if (!index || *index >= shared_.size())
        fail_cell("refers to shared string '" + value_ + "', but the workbook has " + std::to_string(shared_.size()));
      text = shared_[*index];
    } else if (type_ == "inlineStr") {
      text = inline_.take();
    } else if (type_ == "b") {
      if (value_ == "1" || value_ == "0") text = value_ == "1" ? "TRUE" : "FALSE";
      else if (!value_.empty()) fail_cell("'" + value_ + "' is not a boolean");
    } else if (type_ == "str") {
      text = decode_escapes(value_);
    } else if (type_ == "n" && !value_.empty()) {
      double number = 0;
      const auto [end, ec] = std::from_chars(value_.data(), value_.data() + value_.size(), number);
      if (ec != std::errc() || end != value_.data() + value_.size()) fail_cell("'" + value_ + "' is not a number");
      text = format_general_number(number);
      number_cell = date_style_ ? NumberCell::kDate : NumberCell::kNumber;
    } else {
      text = value_;  // error values, ISO dates
      if (type_ == "d") number_cell = NumberCell::kDate;
    }
    if (text.empty() || !number_cell) sheet_.numbers.erase(ref_);
    if (text.empty()) {
      sheet_.cells.erase(ref_);
      return;
    }
    if (number_cell) sheet_.numbers.insert_or_assign(ref_, *number_cell);
    package_.count_text(text.size());
    auto [it, added] = sheet_.cells.insert_or_assign(ref_, std::move(text));
    (void)it;
    if (added && ++cell_count_ > kWorkbookCellCountMax)
      package_.fail("more than " + std::to_string(kWorkbookCellCountMax) + " cells");
  }

  const Package& package_;
  const std::vector<std::string>& shared_;
  const std::vector<bool>& date_styles_;
  WorkbookSheet& sheet_;
  size_t& cell_count_;
  bool in_data_ = false, in_cell_ = false, in_value_ = false, in_inline_ = false, date_style_ = false;
  uint32_t row_ = 0, next_col_ = 1;
  CellRef ref_;
  std::string type_, value_;
  StringCollector inline_;
};

std::string part_of_type(const std::map<std::string, Relationship>& rels, std::string_view type) {
  for (const auto& [id, rel] : rels)
    if (rel.type == type) return rel.target;
  return {};
}

SheetKind kind_of(std::string_view type) {
  if (type == "worksheet") return SheetKind::kWorksheet;
  if (type == "chartsheet") return SheetKind::kChartsheet;
  return SheetKind::kOther;
}

}  // namespace

bool is_date_format_code(std::string_view code) {
  // A format has up to four sections; any of them showing a date part counts.
  for (size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '"') {
      const size_t close = code.find('"', i + 1);
      if (close == std::string_view::npos) return false;
      i = close;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;  // an escaped character, a space as wide as one, a fill character
    } else if (c == '[') {
      const size_t close = code.find(']', i + 1);
      if (close == std::string_view::npos) return false;
      // [h], [mm], [ss]: elapsed time; anything else in brackets ([Red], [$-409], [>100]) is not.
      const std::string inner = lower(code.substr(i + 1, close - i - 1));
      if (!inner.empty() && inner.find_first_not_of(inner[0]) == std::string::npos &&
          (inner[0] == 'h' || inner[0] == 'm' || inner[0] == 's'))
        return true;
      i = close;
    } else {
      const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (l == 'd' || l == 'm' || l == 'y' || l == 'h' || l == 's') return true;
    }
  }
  return false;
}

std::string format_general_number(double value) {
  if (!std::isfinite(value)) return "#NUM!";
  std::array<char, kNumberTextMax> buffer{};
  char* const first = buffer.data();
  char* const last = first + buffer.size();
  const double magnitude = std::fabs(value);
  std::to_chars_result result{};
  if (magnitude < kGeneralIntegerLimit && std::trunc(value) == value) {
    result = std::to_chars(first, last, static_cast<long long>(value));
  } else if (magnitude >= kGeneralFixedMin && magnitude < kGeneralIntegerLimit) {
    result = std::to_chars(first, last, value, std::chars_format::fixed);
  } else {
    result = std::to_chars(first, last, value, std::chars_format::scientific);
    std::replace(first, result.ptr, 'e', 'E');
  }
  return std::string(first, result.ptr);
}

std::string cell_name(CellRef ref) {
  std::string letters;
  for (uint32_t col = ref.col; col > 0; col = (col - 1) / kColumnLetters)
    letters.insert(letters.begin(), static_cast<char>('A' + (col - 1) % kColumnLetters));
  return letters + std::to_string(ref.row);
}

std::vector<WorkbookSheet> read_xlsx_bytes(const std::vector<uint8_t>& bytes, std::string_view display_name) {
  const std::string name(display_name);
  if (const auto foreign = foreign_workbook(bytes)) throw WorkbookError(name + ": " + *foreign);
  for (const auto extension : kMacroExtensions)
    if (ends_with_nocase(name, extension))
      throw WorkbookError(name + ": a macro-enabled workbook; save it as an .xlsx workbook without macros");
  const Package package(bytes, name);
  if (package.has_vba_project())
    package.fail("a macro-enabled workbook (it holds a VBA project); save it as an .xlsx workbook without macros");

  const auto root_rels = read_relationships(package, "");
  std::string workbook_part = part_of_type(root_rels, "officeDocument");
  if (workbook_part.empty()) workbook_part = "xl/workbook.xml";
  WorkbookHandler workbook(package);
  if (!package.parse_part(workbook_part, workbook)) package.fail("not an .xlsx workbook (no workbook part)");
  const auto rels = read_relationships(package, workbook_part);

  SharedStringsHandler shared(package);
  if (const std::string part = part_of_type(rels, "sharedStrings"); !part.empty()) package.parse_part(part, shared);
  StylesHandler styles(package);
  if (const std::string part = part_of_type(rels, "styles"); !part.empty()) package.parse_part(part, styles);

  std::vector<WorkbookSheet> sheets;
  std::set<std::string> parsed_parts;
  size_t cell_count = 0;
  for (const auto& entry : workbook.sheets) {
    WorkbookSheet& sheet = sheets.emplace_back();
    sheet.name = entry.name;
    const auto rel = rels.find(entry.rel_id);
    if (rel == rels.end()) package.fail("sheet '" + entry.name + "' has no part (relationship '" + entry.rel_id + "')");
    sheet.kind = kind_of(rel->second.type);
    if (sheet.kind != SheetKind::kWorksheet) continue;
    if (!parsed_parts.insert(lower(rel->second.target)).second)
      package.fail("sheet '" + entry.name + "' names the part " + rel->second.target + " of another sheet");
    WorksheetHandler handler(package, shared.strings, styles.date_styles, sheet, cell_count);
    package.require_and_parse(rel->second.target, handler);
  }
  return sheets;
}

void check_xlsx_package(const std::vector<uint8_t>& bytes, std::string_view display_name) {
  const Package package(bytes, display_name);
  const zip_int64_t count = zip_get_num_entries(package.archive(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* entry = zip_get_name(package.archive(), static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (entry == nullptr) package.fail("entry " + std::to_string(i) + " has no name");
    const std::string part(entry);
    struct Ignore : XmlHandler {
      void start(std::string_view, Attributes) override {}
      void end(std::string_view) override {}
    } ignore;
    const bool xml = ends_with_nocase(part, ".xml") || ends_with_nocase(part, ".rels");
    package.parse_entry(static_cast<zip_uint64_t>(i), part, xml ? &ignore : nullptr);
  }
}

std::vector<WorkbookSheet> read_xlsx(const std::filesystem::path& path) {
  const auto utf8 = path.u8string();
  const std::string name(utf8.begin(), utf8.end());
  std::vector<uint8_t> bytes;
  std::string error;
  if (!read_regular_file(name, kWorkbookFileSizeMax, &bytes, &error)) throw WorkbookError(name + ": " + error);
  return read_xlsx_bytes(bytes, name);
}

}  // namespace calvex_host
