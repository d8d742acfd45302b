// Test host: drives the library through its C exports the way a host does,
// and checks what reaches the NV image and the message sink. Includes the
// rest of the support library (files, temporary directory, message log).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "calvex.h"
#include "files.h"
#include "message_log.h"
#include "temp_dir.h"

namespace calvex_test {

// Messages that every family's sheets show.
inline constexpr const char* kDone = "修改完成！";
inline constexpr const char* kOpenFailedWrite = "文件打开失败！";
inline constexpr const char* kOpenFailedRead = "获取bin文件失败！";
inline constexpr const char* kCellCountMismatch = "cell表格个数不符！";
inline constexpr const char* kNotHex = "非16进制数！";

// One range's texts (UTF-8) as the host passes them; handles are created with
// CalvexTextNew and released when the Sheet is destroyed.
struct RangeTexts {
  std::vector<std::string> cells;
  int32_t rows = -1;  // bounds: rows x cols; -1 means one column of cells.size()
  int32_t cols = 1;
};

// Calls a write export with the given ranges (each passed as a column of
// cells unless rows/cols say otherwise) and a fresh binPath handle.
void call_write(void(CALVEX_CALL* fn)(const CellRange*, int32_t, CalvexText), const std::vector<RangeTexts>& ranges,
                const std::string& path);

// Calls a write export with explicit bounds for each range (x1, y1, x2, y2),
// cells in array order.
struct BoundedRange {
  std::vector<std::string> cells;
  int32_t x1, y1, x2, y2;
};
void call_write_bounded(void(CALVEX_CALL* fn)(const CellRange*, int32_t, CalvexText),
                        const std::vector<BoundedRange>& ranges, const std::string& path);

// The output of a read export.
struct ReadResult {
  std::vector<std::string> texts;  // UTF-8
  std::vector<int32_t> marks;
};
// Calls a read export with cellCount cells (texts initialised to "?", mark -1).
ReadResult call_read(void(CALVEX_CALL* fn)(SheetCell*, int32_t, CalvexText), int32_t cellCount,
                     const std::string& path);

}  // namespace calvex_test
