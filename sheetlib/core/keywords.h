// The keyword lists of the sheets: the exact texts a keyword cell may hold.
// The definitions (the cell kinds calvex checks and shows) and the
// operations (which compare a cell against them) use these same lists, so a
// keyword is written once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace calvex::kw {

// A switch cell: exactly "open" writes the value it guards.
inline constexpr std::string_view kOpen[] = {"open"};
// A switch cell that the read shows as either word.
inline constexpr std::string_view kOpenClose[] = {"open", "close"};
inline constexpr size_t kOpenWord = 0;
inline constexpr size_t kCloseWord = 1;
// A flag cell: exactly "1" is on; the read shows "1" or "0".
inline constexpr std::string_view kOneZero[] = {"1", "0"};
inline constexpr size_t kOneWord = 0;
inline constexpr size_t kZeroWord = 1;
// Carrier aggregation and port rows: exactly "Support" enables.
inline constexpr std::string_view kSupport[] = {"Support"};
// Pin multiplexing modes: the two MIPI modes; any other text (GPIO) selects GPIO.
inline constexpr std::string_view kPinMuxModes[] = {"MIPI MODE", "ONLY MIPI0 MODE", "GPIO"};
inline constexpr size_t kMipiMode = 0;
inline constexpr size_t kOnlyMipi0Mode = 1;
inline constexpr size_t kGpioMode = 2;
// Lines 12-14 as SIM function: exactly "SIM FUNC".
inline constexpr std::string_view kSimFunc[] = {"SIM FUNC"};
// LTE antenna type: exactly "MIPI" selects MIPI words; any other text (GPIO) GPIO lines.
inline constexpr std::string_view kAntTypes[] = {"MIPI", "GPIO"};
inline constexpr size_t kMipiAntType = 0;
inline constexpr size_t kGpioAntType = 1;

// A transceiver port name and the one-hot mask it stores.
struct PortName {
  std::string_view name;
  uint16_t mask;
};
inline constexpr PortName kTxPorts[] = {{"HB1", 0x8000}, {"HB2", 0x4000}, {"MB1", 0x2000}, {"MB2", 0x1000},
                                        {"LB1", 0x0800}, {"LB2", 0x0400}, {"LB3", 0x0200}};
inline constexpr PortName kRxPorts[] = {{"HB1", 0x0800}, {"HB2", 0x0400}, {"HB3", 0x0200}, {"MB1", 0x0100},
                                        {"MB2", 0x0080}, {"MB3", 0x0040}, {"MB4", 0x0020}, {"MB5", 0x0010},
                                        {"LB4", 0x0008}, {"LB1", 0x0004}, {"LB2", 0x0002}, {"LB3", 0x0001}};

// The names of a port table, as a keyword list.
template <size_t N>
struct PortWords {
  std::string_view words[N];
};
template <size_t N>
constexpr PortWords<N> port_words(const PortName (&ports)[N]) {
  PortWords<N> out{};
  for (size_t i = 0; i < N; ++i) out.words[i] = ports[i].name;
  return out;
}
inline constexpr auto kTxPortWords = port_words(kTxPorts);
inline constexpr auto kRxPortWords = port_words(kRxPorts);

// True when a cell text is exactly the (ASCII) keyword: no case folding, no trimming.
constexpr bool text_is(std::u16string_view text, std::string_view keyword) {
  if (text.size() != keyword.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != static_cast<char16_t>(static_cast<unsigned char>(keyword[i]))) return false;
  }
  return true;
}

}  // namespace calvex::kw
