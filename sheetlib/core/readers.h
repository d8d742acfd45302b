// Cell readers: how the sheets turn a cell text into a number.
//
// None of them returns a success flag: a refused hexadecimal text gives 0
// after its message, and the caller treats that 0 like any other value.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace calvex {

// Hexadecimal text to unsigned 32-bit. If the text starts with "0x", every
// "0x" is removed from it (else, if it starts with "0X", every "0X"); the
// caller's copy is changed. More than 8 digits left shows "字符长度超过8！",
// a non-hexadecimal character shows "非16进制数！"; both give 0. Empty gives 0.
uint32_t ReadHex(std::u16string& text);

// Decimal text to signed 32-bit, as atoi reads it: leading white space, an
// optional sign, digits up to the first other character; no digits give 0.
// Values beyond the signed 32-bit range saturate. Off Windows a character
// outside ASCII ends the number; on Windows the text is first converted to
// the thread's ANSI code page. Nothing is reported.
int32_t ReadDec(std::u16string_view text);

// Decimal text to unsigned 32-bit, as strtoul(base 10) reads it: a minus sign
// negates modulo 2^32, values above 4294967295 give 4294967295.
uint32_t ReadDecUnsigned(std::u16string_view text);

// Spaces removed; exactly "x" or "X" gives 0; otherwise ReadDec.
int32_t ReadDecOrX(std::u16string_view text);

// Spaces removed; exactly "x" or "X" gives 0 silently; otherwise ReadHex.
uint32_t ReadHexOrX(std::u16string_view text);

// Number of cells in a truth-table row read by ReadTruthRow.
inline constexpr size_t kTruthRowCells = 11;

// Truth-table row of 11 cells to a mask, bit i for cell i: spaces removed,
// "1" sets the bit, "0", "x", "X" leave it clear; anything else (empty
// included) shows "真值表输入有误，请确认值是否为'0'、'1'、'X'！" once per
// offending cell, leaves the bit clear and goes on. row must hold 11 texts.
uint16_t ReadTruthRow(std::span<const std::u16string> row);

// True if the text is exactly "x" or exactly "X".
bool is_x_mark(std::u16string_view text);

}  // namespace calvex
