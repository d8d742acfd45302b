// How bytes reach the NV image: the coalescing store (one positioned write per
// contiguous run), its rollback when a write fails partway, opens that never
// block on special files, and NULL cell pointers refused like a wrong shape.
// Sheets are called through their C exports, found by the definitions' names.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calvex.h"
#include "exports_by_name.h"
#include "files.h"
#include "message_log.h"
#include "sheet.h"
#include "sheet_def.h"
#include "temp_dir.h"
#include "text.h"

namespace {

using calvex::NvBlock;
using calvex::NvFile;
using calvex::SheetDef;
using Bytes = std::vector<uint8_t>;
using Messages = std::vector<std::string>;

constexpr const char* kDone = "修改完成！";
constexpr const char* kNvIoFailed = "bin文件读写出错，操作未完成！";

// The export a definition names (exports_by_name.h).
const calvex_test::SheetExport& export_named(std::string_view name) {
  const calvex_test::SheetExport* e = calvex_test::find_export(name);
  if (e == nullptr) throw std::invalid_argument("no export " + std::string(name));
  return *e;
}

// Cell texts of a sheet's ranges, each range rows x columns as its definition
// gives it: every cell fill, or (without fill) the first keyword of a keyword
// cell and "0" elsewhere, which makes every sheet look at all its ranges.
class HostSheet {
 public:
  explicit HostSheet(const SheetDef& def, std::optional<std::string> fill = std::nullopt) : def_(def) {
    for (const calvex::RangeDef& range : def.ranges) {
      std::vector<std::string>& texts = texts_.emplace_back();
      for (int row = 0; row < range.rows; ++row) {
        for (int col = 0; col < range.cols; ++col) {
          const calvex::CellType cell_type = range.cell_type_at(row, col);
          const bool keyword = cell_type.kind == calvex::CellKind::Keyword && !cell_type.keywords.empty();
          texts.push_back(fill ? *fill : keyword ? std::string(cell_type.keywords[0]) : "0");
        }
      }
    }
  }

  std::string& cell(size_t range, size_t index) { return texts_[range][index]; }

  // Calls the write export; range null_range (if any) passes NULL cells with
  // its full extent.
  void write(const std::string& path, std::optional<size_t> null_range = std::nullopt) const {
    std::vector<std::vector<CalvexText>> handles;
    std::vector<CellRange> ranges;
    for (size_t r = 0; r < texts_.size(); ++r) {
      std::vector<CalvexText>& h = handles.emplace_back();
      for (const std::string& t : texts_[r]) h.push_back(CalvexTextNew(calvex::widen(t).c_str()));
      CalvexText* cells = null_range == r ? nullptr : h.data();
      ranges.push_back(CellRange{cells, 0, 0, def_.ranges[r].cols - 1, def_.ranges[r].rows - 1});
    }
    call(def_, ranges.data(), static_cast<int32_t>(ranges.size()), path);
    for (const std::vector<CalvexText>& h : handles) {
      for (CalvexText t : h) CalvexTextRelease(t);
    }
  }

  // Calls the write export with the given ranges pointer and count.
  static void call(const SheetDef& def, const CellRange* ranges, int32_t count, const std::string& path) {
    const calvex_test::SheetExport& e = export_named(def.write_export);
    const CalvexText bin = CalvexTextNew(calvex::widen(path).c_str());
    if (e.write_back != nullptr) {
      std::vector<SheetCell> back(static_cast<size_t>(def.write_back_cells));
      e.write_back(ranges, count, bin, back.data(), static_cast<int32_t>(back.size()));
      for (SheetCell& c : back) CalvexTextRelease(c.text);
    } else {
      e.write(ranges, count, bin);
    }
  }

 private:
  const SheetDef& def_;
  std::vector<std::vector<std::string>> texts_;
};

// Calls a sheet's read export with its full count of output cells.
void call_read(const SheetDef& def, const std::string& path) {
  std::vector<SheetCell> cells(static_cast<size_t>(def.read_count()));
  export_named(def.read_export)
      .read(cells.data(), static_cast<int32_t>(cells.size()), CalvexTextNew(calvex::widen(path).c_str()));
  for (SheetCell& c : cells) CalvexTextRelease(c.text);
}

const SheetDef& def_named(std::string_view name) {
  const SheetDef* def = calvex::find_sheet_def(name);
  if (def == nullptr) throw std::invalid_argument("no sheet " + std::string(name));
  return *def;
}

// ---- the fixture ----

class ImageIo : public ::testing::Test {
 protected:
  void TearDown() override { calvex::testing::fail_write_after_bytes = -1; }

  void put(const Bytes& bytes) const { calvex_test::write_file(path, bytes); }
  Bytes image() const { return calvex_test::read_file(path); }
  std::string file(const std::string& name) const { return dir_.file(name); }

  // Runs call in a child process with a guard alarm and returns the messages
  // it showed; nothing if the child did not finish normally (a hang ends with
  // the alarm's signal instead of blocking the suite).
  static std::optional<Messages> in_child(const std::function<void()>& call) {
    constexpr unsigned kGuardSeconds = 20;
    int fds[2];
    if (::pipe(fds) != 0) return std::nullopt;
    const pid_t pid = ::fork();
    if (pid < 0) {
      ::close(fds[0]);
      ::close(fds[1]);
      return std::nullopt;
    }
    if (pid == 0) {
      ::close(fds[0]);
      ::alarm(kGuardSeconds);
      calvex_test::MessageLog shown;
      call();
      std::string out;
      for (const std::string& m : shown.texts()) out += m + '\n';
      const ssize_t put = ::write(fds[1], out.data(), out.size());
      ::_exit(put == static_cast<ssize_t>(out.size()) ? 0 : 1);
    }
    ::close(fds[1]);
    std::string got;
    char buf[512];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    Messages shown;
    for (size_t at = 0, end; (end = got.find('\n', at)) != std::string::npos; at = end + 1) {
      shown.push_back(got.substr(at, end - at));
    }
    return shown;
  }

  calvex_test::TempDir dir_;
  std::string path = dir_.file("nv.bin");
  calvex_test::MessageLog log;
};

Bytes pattern(size_t size, uint8_t seed) {
  Bytes b(size);
  uint32_t x = seed * 2654435761u + 1;
  for (uint8_t& v : b) {
    x = x * 1103515245u + 12345u;
    v = static_cast<uint8_t>(x >> 16);
  }
  return b;
}

// ---- the store routine ----

struct StagedBlock {
  uint32_t offset;
  Bytes bytes;
};

TEST_F(ImageIo, StoreWritesEachContiguousRunOnce) {
  struct Case {
    const char* rule;
    std::vector<StagedBlock> blocks;
    unsigned long long writes;
    Bytes after;  // from an image of eight bytes 0xEE
  };
  const Case cases[] = {
      {"adjacent blocks are one run", {{2, {1, 2}}, {4, {3}}}, 1, {0xEE, 0xEE, 1, 2, 3, 0xEE, 0xEE, 0xEE}},
      {"listed out of order", {{4, {3}}, {2, {1, 2}}}, 1, {0xEE, 0xEE, 1, 2, 3, 0xEE, 0xEE, 0xEE}},
      {"a gap keeps two runs and its bytes", {{0, {1}}, {6, {2}}}, 2, {1, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 2, 0xEE}},
      {"the later of overlapping blocks wins", {{1, {1, 2, 3}}, {2, {9}}}, 1, {0xEE, 1, 9, 3, 0xEE, 0xEE, 0xEE, 0xEE}},
      {"the later wins in either order", {{2, {9}}, {1, {1, 2, 3}}}, 1, {0xEE, 1, 2, 3, 0xEE, 0xEE, 0xEE, 0xEE}},
      {"a block inside another", {{0, {1, 2, 3, 4}}, {1, {7, 8}}}, 1, {1, 7, 8, 4, 0xEE, 0xEE, 0xEE, 0xEE}},
      {"past the end grows the file with zeros",
       {{10, {5}}},
       1,
       {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0, 0, 5}},
      {"nothing staged writes nothing", {}, 0, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
  };
  for (const Case& c : cases) {
    put(Bytes(8, 0xEE));
    std::vector<NvBlock> blocks;
    for (const StagedBlock& b : c.blocks) {
      blocks.emplace_back(b.offset, b.bytes.size());
      blocks.back().bytes = b.bytes;
    }
    calvex::testing::write_calls = 0;
    ASSERT_TRUE(calvex::store_blocks(calvex::widen(path), calvex::block_refs(blocks), calvex::msg::kOpenFailedWrite));
    EXPECT_EQ(calvex::testing::write_calls, c.writes) << c.rule;
    EXPECT_EQ(image(), c.after) << c.rule;
  }
  EXPECT_TRUE(log.texts().empty());
}

TEST_F(ImageIo, TdscdmaSwitchPaStoresItsAreaInOneWrite) {
  constexpr size_t kArea = 580, kAreaSize = 704;
  const Bytes before = pattern(2048, 3);
  put(before);
  const SheetDef& def = def_named("TdscdmaSwitchPaCtrlWord");
  HostSheet sheet(def, "X");
  sheet.cell(0, 0) = "1";
  calvex::testing::write_calls = 0;
  sheet.write(path);
  EXPECT_EQ(log.texts(), Messages{kDone});
  EXPECT_EQ(calvex::testing::write_calls, 1u);
  const Bytes after = image();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + kArea, before.begin()));
  EXPECT_TRUE(std::equal(after.begin() + kArea + kAreaSize, after.end(), before.begin() + kArea + kAreaSize));
  EXPECT_NE(Bytes(after.begin() + kArea, after.begin() + kArea + kAreaSize),
            Bytes(before.begin() + kArea, before.begin() + kArea + kAreaSize));
}

// ---- rollback ----

// A GSM temperature compensation sheet of valid, distinct values: its write
// stores two runs, 0x3E4..0x16E0 (head and both TX tables) and 0x1B28..0x1BA0 (RX).
void fill_gsm_tmp_comp(HostSheet& sheet, const SheetDef& def) {
  size_t k = 0;
  for (size_t r = 0; r < def.ranges.size(); ++r) {
    for (int64_t i = 0; i < def.ranges[r].count(); ++i)
      sheet.cell(r, static_cast<size_t>(i)) = std::to_string(k++ % 900);
  }
}

constexpr size_t kGsmFirstRun = 0x16E0 - 0x3E4;
constexpr size_t kGsmLastRun = 0x1BA0 - 0x1B28;

TEST_F(ImageIo, FailedWriteRestoresTheImage) {
  struct Case {
    const char* rule;
    size_t image_size;
    long long fail_after;
  };
  const Case cases[] = {
      {"first write fails at once", 8192, 0},
      {"first run cut in the middle", 8192, 1000},
      {"last run fails at its start", 8192, kGsmFirstRun},
      {"last run cut in the middle", 8192, kGsmFirstRun + kGsmLastRun / 2},
      {"short image grown by the first run", 0x1000, 3000},
      {"short image, last run past the end", 0x1000, kGsmFirstRun + 10},
  };
  const SheetDef& def = def_named("GsmTmpComp");
  for (const Case& c : cases) {
    const Bytes before = pattern(c.image_size, 7);
    put(before);
    log.clear();
    HostSheet sheet(def);
    fill_gsm_tmp_comp(sheet, def);
    calvex::testing::fail_write_after_bytes = c.fail_after;
    sheet.write(path);
    EXPECT_EQ(log.texts(), Messages{kNvIoFailed}) << c.rule;
    EXPECT_EQ(image(), before) << c.rule;
  }
  // The same write without a failure changes the image.
  log.clear();
  HostSheet sheet(def);
  fill_gsm_tmp_comp(sheet, def);
  sheet.write(path);
  EXPECT_EQ(log.texts(), Messages{kDone});
  EXPECT_EQ(image().size(), 0x1BA0u);
}

TEST_F(ImageIo, FileSizeLimitLeavesTheImageAsItWas) {
  struct Case {
    const char* rule;
    size_t image_size;
    rlim_t limit;
  };
  const Case cases[] = {
      {"limit inside the first run", 0x1000, 0x1000},
      {"limit before the last run", 0x1800, 0x1800},
  };
  const SheetDef& def = def_named("GsmTmpComp");
  for (const Case& c : cases) {
    const Bytes before = pattern(c.image_size, 11);
    put(before);
    const auto shown = in_child([&] {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{c.limit, c.limit};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
      HostSheet sheet(def);
      fill_gsm_tmp_comp(sheet, def);
      sheet.write(path);
    });
    ASSERT_TRUE(shown.has_value()) << c.rule;
    EXPECT_EQ(*shown, Messages{kNvIoFailed}) << c.rule;
    EXPECT_EQ(image(), before) << c.rule;
  }
}

// ---- special files ----

TEST_F(ImageIo, SpecialFilesFailLikeAMissingImageWithoutBlocking) {
  const std::string fifo = file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string missing = file("missing.bin");
  const std::string targets[] = {fifo, dir_.path().string(), "/dev/null"};
  for (const SheetDef* def : calvex::all_sheet_defs()) {
    // What each call shows for an image that does not exist.
    log.clear();
    const HostSheet sheet(*def, "X");
    sheet.write(missing);
    const Messages write_missing = log.texts();
    Messages read_missing;
    if (def->has_read_export()) {
      log.clear();
      call_read(*def, missing);
      read_missing = log.texts();
    }
    for (const std::string& target : targets) {
      const auto wrote = in_child([&] { HostSheet(*def, "X").write(target); });
      ASSERT_TRUE(wrote.has_value()) << def->write_export << " on " << target;
      EXPECT_EQ(*wrote, write_missing) << def->write_export << " on " << target;
      if (!def->has_read_export()) continue;
      const auto read = in_child([&] { call_read(*def, target); });
      ASSERT_TRUE(read.has_value()) << def->read_export << " on " << target;
      EXPECT_EQ(*read, read_missing) << def->read_export << " on " << target;
    }
  }
}

// ---- NULL pointers from the host ----

TEST_F(ImageIo, NullCellsAreRefusedWithTheRangesMessage) {
  const Bytes before = pattern(0x6000, 5);
  for (const SheetDef* def : calvex::all_sheet_defs()) {
    for (size_t r = 0; r < def->ranges.size(); ++r) {
      put(before);
      log.clear();
      HostSheet sheet(*def);
      sheet.write(path, r);
      EXPECT_EQ(log.texts(), Messages{calvex::to_utf8(def->ranges[r].on_cell_count->text)})
          << def->write_export << " range " << def->ranges[r].name;
      EXPECT_EQ(image(), before) << def->write_export << " range " << def->ranges[r].name;
    }
    log.clear();
    HostSheet::call(*def, nullptr, static_cast<int32_t>(def->ranges.size()), path);
    EXPECT_EQ(log.texts(), Messages{calvex::to_utf8(def->on_range_count->text)}) << def->write_export;
    EXPECT_EQ(image(), before) << def->write_export;
  }
}

}  // namespace
