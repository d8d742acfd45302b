// TD-SCDMA NV control end to end: the enable marker rule, the field widths
// and the read-back formats.
#include "library.h"
#include "sheets.h"
#include "unicode.h"
#include "wcdma_support.h"

using namespace cdma_test;

namespace {

constexpr size_t kBlock = 168;
constexpr size_t kBlockSize = 42;  // 168..209

std::vector<std::string> nv_ctrl_cells() {
  return {"1", "2", "3", "4", "5", "6", "-1", "70000", "8", "9", "0x13579BDF", "-5", "7", "0x 12 34", "0x1ABCD"};
}

class TdscdmaNvCtrl : public CdmaImageTest {
 protected:
  std::vector<std::string> cells = nv_ctrl_cells();
  void write() { call_write(SheetTdscdmaNvCtrlWr, {{cells}}, path); }
};

TEST_F(TdscdmaNvCtrl, WritesEveryFieldInItsWidth) {
  write();
  EXPECT_EQ(log.texts(), Messages{kDone});
  const auto after = image();
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(le16(after, kBlock + 2 * i), i + 1) << "cell " << i;
  EXPECT_EQ(std::vector<uint8_t>(after.begin() + 180, after.begin() + 188),
            (std::vector<uint8_t>{0xFF, 0xFF, 0x00, 0x00, 0x70, 0x11, 0x00, 0x00}));
  EXPECT_EQ(le32(after, 188), 8u);
  EXPECT_EQ(le32(after, 192), 9u);
  EXPECT_EQ(std::vector<uint8_t>(after.begin() + 196, after.begin() + 204),
            (std::vector<uint8_t>{0xDF, 0x9B, 0x57, 0x13, 0xFB, 0xFF, 0x07, 0x00}));
  EXPECT_EQ(le32(after, 204), 0x1234u);
  EXPECT_EQ(le16(after, 208), 0xABCDu);
  EXPECT_EQ(changes_outside(before, after, {{kBlock, kBlockSize}}), std::vector<size_t>{});

  const ReadResult r = call_read(SheetTdscdmaNvCtrlRd, 15, path);
  EXPECT_EQ(r.texts, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "65535", "4464", "8", "9", "0x13579bdf",
                                               "-5", "7", "0x1234", "0xabcd"}));
  EXPECT_EQ(r.marks, std::vector<int32_t>(15, 17));
}

TEST_F(TdscdmaNvCtrl, TheMarkerIsComparedAsEntered) {
  struct Case {
    const char* rule;
    std::string enable;
    uint32_t word;
    bool enabled;
  };
  const Case cases[] = {
      {"upper-case digits", "0x13579BDF", 0x13579BDF, true},
      {"lower-case digits", "0x13579bdf", 0x13579BDF, true},
      {"leading blank: no match, same word", " 0x13579BDF", 0x13579BDF, false},
      {"upper-case X", "0X13579BDF", 0x13579BDF, false},
      {"mixed case", "0x13579Bdf", 0x13579BDF, false},
      {"another word", "0x12345678", 0x12345678, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    write_file(path, before);
    log.clear();
    cells[10] = c.enable;
    write();
    EXPECT_EQ(log.texts(), Messages{kDone});
    const auto after = image();
    EXPECT_EQ(le32(after, 196), c.word);
    EXPECT_EQ(le32(after, 200), c.enabled ? 0x0007FFFBu : 0u);
  }
}

TEST_F(TdscdmaNvCtrl, RefusalsAndReaderMessages) {
  call_write(SheetTdscdmaNvCtrlWr, {{cells}, {cells}}, path);
  call_write(SheetTdscdmaNvCtrlWr, {{repeat_text("1", 16)}}, path);
  call_write(SheetTdscdmaNvCtrlWr, {{cells}}, missing_path());
  EXPECT_EQ(log.texts(),
            (Messages{"SheetTdscdmaNvCtrlWr参数配置有误，请确认！", "NvCtrl输入数据有误，请确认！", kOpenFailedWrite}));
  EXPECT_EQ(image(), before);

  // A refused hexadecimal cell is reported and written as 0.
  log.clear();
  cells[13] = "0x12G";
  cells[14] = "123456789";
  write();
  EXPECT_EQ(log.texts(), (Messages{kNotHex, "字符长度超过8！", kDone}));
  EXPECT_EQ(le32(image(), 204), 0u);
  EXPECT_EQ(le16(image(), 208), 0u);
}

TEST_F(TdscdmaNvCtrl, ReadFormatsEachFieldWithItsSign) {
  std::vector<uint8_t> img(kImageSize, 0xFF);  // every field all ones
  write_file(path, img);
  const ReadResult r = call_read(SheetTdscdmaNvCtrlRd, 15, path);
  EXPECT_EQ(log.texts(), Messages{});
  EXPECT_EQ(r.texts, (std::vector<std::string>{"65535", "65535", "65535", "65535", "65535", "65535", "-1", "-1", "-1",
                                               "-1", "0xffffffff", "-1", "-1", "0xffffffff", "0xffff"}));
}

// calvex reads the sheet with its decoder: the four values kept in 32 bits
// as signed 16-bit values (the export shows them zero-extended), every other
// cell as the export shows it, and no message. Writing what it shows gives
// the same bytes.
TEST_F(TdscdmaNvCtrl, CalvexReadShowsTheWideValuesSigned) {
  cells[6] = "-32768";
  cells[7] = "32768";
  cells[8] = "65535";
  write();
  const auto written = image();
  const ReadResult exported = call_read(SheetTdscdmaNvCtrlRd, 15, path);
  EXPECT_EQ(std::vector<std::string>(exported.texts.begin() + 6, exported.texts.begin() + 10),
            (std::vector<std::string>{"32768", "32768", "65535", "9"}));

  std::vector<std::u16string> out;
  const calvex_host::Outcome outcome = calvex_host::call_sheet_read(
      calvex::kTdscdmaNvCtrlSheet, out, calvex_host::utf16_from_utf8(path), 0);
  EXPECT_TRUE(outcome.messages.empty());
  std::vector<std::string> shown;
  for (const std::u16string& t : out) shown.push_back(calvex_host::utf8_from_utf16(t));
  EXPECT_EQ(shown, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "-32768", "-32768", "-1", "9", "0x13579bdf",
                                             "-5", "7", "0x1234", "0xabcd"}));

  log.clear();
  call_write(SheetTdscdmaNvCtrlWr, {{shown}}, path);
  EXPECT_EQ(log.texts(), Messages{kDone});
  EXPECT_EQ(image(), written);
}

}  // namespace
