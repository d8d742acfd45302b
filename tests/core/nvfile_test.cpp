// The NV image file object and CBinFile.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "calvex.h"
#include "files.h"
#include "message_log.h"
#include "nvfile.h"
#include "temp_dir.h"
#include "text.h"

namespace {

namespace fs = std::filesystem;
using calvex::NvFile;

class NvFileTest : public ::testing::Test {
 protected:
  void TearDown() override { calvex::testing::fail_write_after_bytes = -1; }
  std::u16string path(const std::string& name) const { return calvex::widen(dir_.file(name)); }
  std::string native(const std::string& name) const { return dir_.file(name); }
  void put(const std::string& name, const std::vector<uint8_t>& bytes) { calvex_test::write_file(native(name), bytes); }
  std::vector<uint8_t> get(const std::string& name) { return calvex_test::read_file(native(name)); }
  calvex_test::TempDir dir_;
  calvex_test::MessageLog log;
};

TEST_F(NvFileTest, NeverCreatesAFile) {
  for (NvFile::Mode mode : {NvFile::Mode::ReadWrite, NvFile::Mode::ReadOnly}) {
    NvFile f;
    EXPECT_FALSE(f.open(path("missing.bin"), mode));
    EXPECT_FALSE(f.is_open());
    EXPECT_FALSE(fs::exists(native("missing.bin")));
  }
  NvFile f;
  EXPECT_FALSE(f.open(u"", NvFile::Mode::ReadOnly));
  EXPECT_FALSE(f.open(calvex::widen(dir_.path().string()), NvFile::Mode::ReadOnly)) << "a directory is not an image";
}

TEST_F(NvFileTest, ReadersShareAndAWriterIsAlone) {
  put("nv.bin", {1, 2, 3});
  using Mode = NvFile::Mode;
  struct Case {
    Mode held;
    Mode second;
    bool opens;
  };
  const Case cases[] = {
      {Mode::ReadOnly, Mode::ReadOnly, true},    // readers never refuse each other
      {Mode::ReadOnly, Mode::ReadWrite, false},  // no writer while a reader reads
      {Mode::ReadWrite, Mode::ReadOnly, false},  // no reader while a writer writes
      {Mode::ReadWrite, Mode::ReadWrite, false},
  };
  for (const Case& c : cases) {
    NvFile first;
    ASSERT_TRUE(first.open(path("nv.bin"), c.held));
    NvFile second;
    EXPECT_EQ(second.open(path("nv.bin"), c.second), c.opens)
        << "held " << (c.held == Mode::ReadOnly ? "read-only" : "read/write") << ", then "
        << (c.second == Mode::ReadOnly ? "read-only" : "read/write");
  }
  NvFile third;
  EXPECT_TRUE(third.open(path("nv.bin"), Mode::ReadWrite));
}

TEST_F(NvFileTest, HeldImageRefusesAWriteExport) {
  put("nv.bin", std::vector<uint8_t>(0x500, 0xAA));
  NvFile holder;
  ASSERT_TRUE(holder.open(path("nv.bin"), NvFile::Mode::ReadOnly));
  std::vector<CalvexText> cells;
  for (int i = 0; i < 27; ++i) cells.push_back(CalvexTextNew(u"100"));
  CellRange r{cells.data(), 0, 0, 0, 26};
  SheetphyCommonTempDacTabWr(&r, 1, CalvexTextNew(path("nv.bin").c_str()));
  for (CalvexText c : cells) CalvexTextRelease(c);
  EXPECT_EQ(log.texts(), std::vector<std::string>{"文件打开失败！"});
  holder.close();
  EXPECT_EQ(get("nv.bin"), std::vector<uint8_t>(0x500, 0xAA));
}

TEST_F(NvFileTest, ShortReadLeavesTheRestOfTheBuffer) {
  put("nv.bin", {1, 2, 3, 4, 5});
  NvFile f;
  ASSERT_TRUE(f.open(path("nv.bin"), NvFile::Mode::ReadOnly));
  std::vector<uint8_t> buf(6, 0xEE);
  EXPECT_EQ(f.read_at(3, buf), 2u);
  EXPECT_EQ(buf, (std::vector<uint8_t>{4, 5, 0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(f.read_at(100, buf), 0u);
  EXPECT_EQ(buf[0], 4);
}

TEST_F(NvFileTest, WriteBeyondTheEndExtends) {
  put("nv.bin", {1, 2});
  NvFile f;
  ASSERT_TRUE(f.open(path("nv.bin"), NvFile::Mode::ReadWrite));
  const uint8_t data[] = {9, 8};
  f.write_at(4, data);
  f.close();
  EXPECT_EQ(get("nv.bin"), (std::vector<uint8_t>{1, 2, 0, 0, 9, 8}));
}

TEST_F(NvFileTest, ReadOnlyOpenCannotWrite) {
  put("nv.bin", {1, 2});
  NvFile f;
  ASSERT_TRUE(f.open(path("nv.bin"), NvFile::Mode::ReadOnly));
  const uint8_t data[] = {9};
  EXPECT_THROW(f.write_at(0, data), calvex::IoError);
}

TEST_F(NvFileTest, CBinFileWidthCodes) {
  put("nv.bin", std::vector<uint8_t>(8, 0));
  calvex::CBinFile bin;
  ASSERT_TRUE(bin.Open(path("nv.bin")));
  bin.WriteValue(0, 0x12345678, 1);
  bin.WriteValue(2, 0x12345678, 0);
  bin.WriteValue(4, 0x12345678, 2);
  EXPECT_TRUE(log.texts().empty());
  bin.WriteValue(3, 0x12345678, 3);
  EXPECT_EQ(log.texts(), std::vector<std::string>{"CBinFile，错误的读写位宽！"});
  // The position was left at the offset of the refused value.
  const uint8_t marker[] = {0xCC};
  bin.file().write(marker);
  bin.Close();
  EXPECT_EQ(get("nv.bin"), (std::vector<uint8_t>{0x78, 0x56, 0x78, 0xCC, 0x78, 0x56, 0x34, 0x12}));
}

TEST_F(NvFileTest, WriteFailureAfterOpenEndsTheCallWithOneMessage) {
  put("nv.bin", std::vector<uint8_t>(0x500, 0));
  std::vector<CalvexText> cells;
  for (int i = 0; i < 27; ++i) cells.push_back(CalvexTextNew(u"100"));
  CellRange r{cells.data(), 0, 0, 0, 26};
  calvex::testing::fail_write_after_bytes = 0;
  SheetphyCommonTempDacTabWr(&r, 1, CalvexTextNew(path("nv.bin").c_str()));
  for (CalvexText c : cells) CalvexTextRelease(c);
  EXPECT_EQ(log.texts(), std::vector<std::string>{"bin文件读写出错，操作未完成！"});
  // The image was closed again: it can be opened.
  NvFile f;
  EXPECT_TRUE(f.open(path("nv.bin"), NvFile::Mode::ReadWrite));
}

}  // namespace

namespace {

// The same calls on a file and on a MemoryImage of the same bytes give the
// same results and leave the same bytes, over seeded random call sequences.
TEST_F(NvFileTest, MemoryImageBehavesAsTheFile) {
  constexpr int kSeeds = 40;
  constexpr int kCalls = 60;
  constexpr uint32_t kSpan = 300;  // offsets and lengths stay within a few hundred bytes
  for (int seed = 1; seed <= kSeeds; ++seed) {
    std::mt19937 rng(static_cast<uint32_t>(seed));
    std::vector<uint8_t> start(rng() % kSpan);
    for (uint8_t& b : start) b = static_cast<uint8_t>(rng());
    put("f.bin", start);
    calvex::MemoryImage memory(path("m.bin"), start);
    ASSERT_TRUE(memory.registered());
    NvFile on_file;
    NvFile on_memory;
    ASSERT_TRUE(on_file.open(path("f.bin"), NvFile::Mode::ReadWrite));
    ASSERT_TRUE(on_memory.open(path("m.bin"), NvFile::Mode::ReadWrite));
    EXPECT_FALSE(fs::exists(native("m.bin"))) << "the memory image names no file";
    for (int call = 0; call < kCalls; ++call) {
      const uint64_t offset = rng() % kSpan;
      std::vector<uint8_t> data(rng() % 16);
      for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
      std::vector<uint8_t> got_file(data.size(), 0xEE);
      std::vector<uint8_t> got_memory(data.size(), 0xEE);
      switch (rng() % 6) {
        case 0:
          on_file.write_at(offset, data);
          on_memory.write_at(offset, data);
          break;
        case 1:
          EXPECT_EQ(on_file.read_at(offset, got_file), on_memory.read_at(offset, got_memory));
          break;
        case 2:
          on_file.seek(offset);
          on_memory.seek(offset);
          on_file.write(data);
          on_memory.write(data);
          break;
        case 3:
          EXPECT_EQ(on_file.read(got_file), on_memory.read(got_memory));
          break;
        case 4:
          on_file.truncate(offset);
          on_memory.truncate(offset);
          break;
        default:
          on_file.sync();
          on_memory.sync();
          EXPECT_EQ(on_file.size(), on_memory.size());
          break;
      }
      ASSERT_EQ(got_file, got_memory) << "seed " << seed << " call " << call;
    }
    on_file.close();
    on_memory.close();
    EXPECT_EQ(get("f.bin"), memory.bytes()) << "seed " << seed;
  }
}

TEST_F(NvFileTest, MemoryImageLocksAsAFileDoes) {
  calvex::MemoryImage memory(path("m.bin"), {1, 2, 3});
  calvex::MemoryImage second(path("other.bin"), {});
  EXPECT_FALSE(second.registered()) << "one image in memory at a time";
  NvFile reader1;
  NvFile reader2;
  NvFile writer;
  ASSERT_TRUE(reader1.open(path("m.bin"), NvFile::Mode::ReadOnly));
  ASSERT_TRUE(reader2.open(path("m.bin"), NvFile::Mode::ReadOnly));
  EXPECT_FALSE(writer.open(path("m.bin"), NvFile::Mode::ReadWrite)) << "readers hold it";
  EXPECT_THROW(reader1.write_at(0, std::vector<uint8_t>{9}), calvex::IoError);
  reader1.close();
  reader2.close();
  ASSERT_TRUE(writer.open(path("m.bin"), NvFile::Mode::ReadWrite));
  EXPECT_FALSE(reader1.open(path("m.bin"), NvFile::Mode::ReadOnly)) << "a writer is alone";
  EXPECT_FALSE(reader1.open(path("other.bin"), NvFile::Mode::ReadOnly)) << "not registered, and no such file";
  // The write test seam counts and fails writes on memory as on a file.
  calvex::testing::fail_write_after_bytes = 1;
  EXPECT_THROW(writer.write_at(4, std::vector<uint8_t>{7, 8}), calvex::IoError);
  writer.close();
  EXPECT_EQ(memory.bytes(), (std::vector<uint8_t>{1, 2, 3, 0, 7}));
}

}  // namespace
