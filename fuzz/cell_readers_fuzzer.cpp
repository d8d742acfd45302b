// The library's cell readers against small reference readers written from
// their contracts (readers.h): value, messages shown, and the caller's copy.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "readers.h"
#include "sink.h"

namespace {

using calvex::MsgId;

// Narrow mode: each input byte is one character and '|' separates texts, so
// short ASCII texts come easily; wide mode: UTF-16 code units.
constexpr uint8_t kWideTextsFlag = 0x01;
constexpr char kNarrowSeparator = '|';

struct Shown {
  std::vector<MsgId> ids;
};

void observe(const calvex::Message& entry, std::u16string_view, void* context) {
  static_cast<Shown*>(context)->ids.push_back(entry.id);
}

std::vector<std::u16string> split_texts(fuzzing::FuzzInput& input, bool wide) {
  std::vector<std::u16string> texts;
  if (wide) {
    while (input.remaining() > 0) texts.push_back(input.take_text());
    return texts;
  }
  std::u16string text;
  for (const uint8_t byte : input.take_rest()) {
    if (byte == kNarrowSeparator) {
      texts.push_back(text);
      text.clear();
    } else {
      text.push_back(static_cast<char16_t>(byte));
    }
  }
  texts.push_back(text);
  return texts;
}

bool is_c_space(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// Sign and magnitude of the decimal prefix, the magnitude capped just above
// 2^32 (all the readers need to tell apart).
struct Decimal {
  bool negative = false;
  uint64_t magnitude = 0;
};
constexpr uint64_t kMagnitudeCap = (uint64_t{1} << 32) + 1;

Decimal decimal_prefix(const std::u16string& text) {
  Decimal d;
  size_t i = 0;
  while (i < text.size() && is_c_space(text[i])) ++i;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) d.negative = text[i++] == u'-';
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    d.magnitude = d.magnitude * 10 + static_cast<uint64_t>(text[i] - u'0');
    if (d.magnitude > kMagnitudeCap) d.magnitude = kMagnitudeCap;
  }
  return d;
}

int32_t reference_dec(const std::u16string& text) {
  const Decimal d = decimal_prefix(text);
  const int64_t value = d.negative ? -static_cast<int64_t>(d.magnitude) : static_cast<int64_t>(d.magnitude);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

uint32_t reference_dec_unsigned(const std::u16string& text) {
  const Decimal d = decimal_prefix(text);
  if (d.magnitude > UINT32_MAX) return UINT32_MAX;
  const auto value = static_cast<uint32_t>(d.magnitude);
  return d.negative ? 0u - value : value;
}

std::u16string without_spaces(const std::u16string& text) {
  std::u16string out;
  for (const char16_t c : text) {
    if (c != u' ') out.push_back(c);
  }
  return out;
}

std::u16string remove_every(const std::u16string& text, const std::u16string& pattern) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    if (text.compare(i, pattern.size(), pattern) == 0) {
      i += pattern.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

struct HexResult {
  uint32_t value = 0;
  std::vector<MsgId> shown;
  std::u16string text_after;
};

HexResult reference_hex(std::u16string text) {
  HexResult r;
  if (text.compare(0, 2, u"0x") == 0) {
    text = remove_every(text, u"0x");
  } else if (text.compare(0, 2, u"0X") == 0) {
    text = remove_every(text, u"0X");
  }
  r.text_after = text;
  if (text.size() > 8) {
    r.shown = {MsgId::kHexTooLong};
    return r;
  }
  for (const char16_t c : text) {
    int digit = -1;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
    if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
    if (digit < 0) {
      r.value = 0;
      r.shown = {MsgId::kNotHex};
      return r;
    }
    r.value = (r.value << 4) | static_cast<uint32_t>(digit);
  }
  return r;
}

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::FuzzInput input(data, size);
  const bool wide = (input.take_byte() & kWideTextsFlag) != 0;
  const std::vector<std::u16string> texts = split_texts(input, wide);

  Shown shown;
  const calvex::ScopedMessageObserver observer(observe, &shown);
  for (const std::u16string& text : texts) {
    shown.ids.clear();
    check(calvex::ReadDec(text) == reference_dec(text));
    check(calvex::ReadDecUnsigned(text) == reference_dec_unsigned(text));
    const std::u16string compact = without_spaces(text);
    const bool x_mark = compact == u"x" || compact == u"X";
    check(calvex::ReadDecOrX(text) == (x_mark ? 0 : reference_dec(compact)));
    check(shown.ids.empty());

    std::u16string copy = text;
    const HexResult expected = reference_hex(text);
    check(calvex::ReadHex(copy) == expected.value);
    check(copy == expected.text_after);
    check(shown.ids == expected.shown);

    shown.ids.clear();
    const HexResult expected_or_x = x_mark ? HexResult{} : reference_hex(compact);
    check(calvex::ReadHexOrX(text) == expected_or_x.value);
    check(shown.ids == expected_or_x.shown);
  }

  // The texts as truth-table rows of 11 cells (a short last row included).
  for (size_t first = 0; first < texts.size(); first += calvex::kTruthRowCells) {
    const size_t end = std::min(texts.size(), first + calvex::kTruthRowCells);
    const std::vector<std::u16string> row(texts.begin() + static_cast<ptrdiff_t>(first),
                                          texts.begin() + static_cast<ptrdiff_t>(end));
    uint16_t mask = 0;
    std::vector<MsgId> complaints;
    for (size_t i = 0; i < row.size(); ++i) {
      const std::u16string cell = without_spaces(row[i]);
      if (cell == u"1") {
        mask = static_cast<uint16_t>(mask | (1u << i));
      } else if (cell != u"0" && cell != u"x" && cell != u"X") {
        complaints.push_back(MsgId::kBadTruthCell);
      }
    }
    shown.ids.clear();
    check(calvex::ReadTruthRow(row) == mask);
    check(shown.ids == complaints);
  }
  return 0;
}
