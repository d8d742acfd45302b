/* Calvex: sheet <-> NV image conversion library, binary boundary.
 *
 * Every export is a plain C function with the platform's C calling convention
 * (cdecl on 32-bit Windows). No export returns a status (IsLteMerge aside):
 * every outcome is shown as one message box, or passed to the sink installed
 * with CalvexSetMessageSink.
 *
 * Ownership: a CalvexText passed as binPath is consumed (released by the
 * callee on every path). Cell texts in CellRange stay the caller's and are
 * never changed. The text of a SheetCell is assigned by the library: its old
 * buffer is released and the new one comes from the old buffer's manager.
 */
#ifndef CALVEX_H
#define CALVEX_H

#include <stdint.h>

#if defined(_WIN32)
#define CALVEX_CALL __cdecl
#else
#define CALVEX_CALL
#endif

#if defined(CALVEX_BUILDING_LIBRARY)
#if defined(_WIN32)
#define CALVEX_API __declspec(dllexport)
#else
#define CALVEX_API __attribute__((visibility("default")))
#endif
#else
#define CALVEX_API
#endif

#ifdef __cplusplus
extern "C" {
typedef char16_t CalvexChar;
#else
typedef uint16_t CalvexChar;
#endif

/* A text handle points at the first UTF-16 code unit of a NUL-terminated text;
 * its header (manager, length, capacity, refs) lies immediately in front. */
typedef CalvexChar* CalvexText;

typedef struct CellRange {
  CalvexText* cells; /* the block's texts in the host's order */
  int32_t x1;
  int32_t y1;
  int32_t x2;
  int32_t y2;
} CellRange;

typedef struct SheetCell {
  CalvexText text; /* assigned by the library */
  int32_t mark;    /* display attribute, set by the library */
} SheetCell;

typedef void(CALVEX_CALL* CalvexMessageSink)(const CalvexChar* text, void* context);

/* Helpers for hosts without the application framework's string class. */
CALVEX_API CalvexText CALVEX_CALL CalvexTextNew(const CalvexChar* text);
CALVEX_API CalvexText CALVEX_CALL CalvexTextRetain(CalvexText t);
CALVEX_API void CALVEX_CALL CalvexTextRelease(CalvexText t);
CALVEX_API void CALVEX_CALL CalvexSetMessageSink(CalvexMessageSink sink, void* context);

/* LTE layout switch: 0 (at load) selects the single layout, any other value the merged one. */
CALVEX_API void CALVEX_CALL SetLteVersion(int32_t value);
CALVEX_API int32_t CALVEX_CALL IsLteMerge(void);

#define CALVEX_WRITE_EXPORT(name) \
  CALVEX_API void CALVEX_CALL name(const CellRange* ranges, int32_t rangeCount, CalvexText binPath);
#define CALVEX_READ_EXPORT(name) \
  CALVEX_API void CALVEX_CALL name(SheetCell* cells, int32_t cellCount, CalvexText binPath);

/* Common sheets */
CALVEX_WRITE_EXPORT(SheetphyCommonTempDacTabWr)
CALVEX_READ_EXPORT(SheetphyCommonTempDacTabRd)
/* Writes the resulting USIDs back into writeBack[0..writeBackCount). */
CALVEX_API void CALVEX_CALL SheetCommonPinMuxSelAndMipiInitWr(const CellRange* ranges, int32_t rangeCount,
                                                              CalvexText binPath, SheetCell* writeBack,
                                                              int32_t writeBackCount);
CALVEX_WRITE_EXPORT(SheetPortInfoWr)

/* GSM */
CALVEX_WRITE_EXPORT(SheetGsmSwitchPaCtrlWordWr)
CALVEX_READ_EXPORT(SheetGsmSwitchPaCtrlWordRd)
CALVEX_WRITE_EXPORT(SheetGsmTmpCompWr)
CALVEX_READ_EXPORT(SheetGsmTmpCompRd)
CALVEX_WRITE_EXPORT(SheetGsmRampCtrlWr)
CALVEX_READ_EXPORT(SheetGsmRampCtrlRd)

/* LTE-A */
CALVEX_WRITE_EXPORT(SheetLteaFilterWr)
CALVEX_READ_EXPORT(SheetLteaFilterRd)
CALVEX_WRITE_EXPORT(SheetLteaFlagsWr)
CALVEX_READ_EXPORT(SheetLteaFlagsRd)
CALVEX_WRITE_EXPORT(SheetLteaMprWr)
CALVEX_READ_EXPORT(SheetLteaMprRd)
CALVEX_WRITE_EXPORT(SheetLteaPcScaleWr)
CALVEX_READ_EXPORT(SheetLteaPcScaleRd)
CALVEX_WRITE_EXPORT(SheetLteaPhseWr)
CALVEX_READ_EXPORT(SheetLteaPhseRd)
CALVEX_WRITE_EXPORT(SheetLteaCapacityWr)
CALVEX_READ_EXPORT(SheetLteaCapacityRd)
CALVEX_WRITE_EXPORT(SheetLteaSwitchPaCtrlWordWr)
CALVEX_READ_EXPORT(SheetLteaSwitchPaCtrlWordRd)
CALVEX_WRITE_EXPORT(SheetLteaTmpCompWr)
CALVEX_READ_EXPORT(SheetLteaTmpCompRd)
CALVEX_WRITE_EXPORT(SheetLteaTxAntSelectWr)
CALVEX_READ_EXPORT(SheetLteaTxAntSelectRd)

/* LTE, single and merged layouts; the names without suffix dispatch on the layout switch. */
CALVEX_WRITE_EXPORT(SheetLteFilterWr)
CALVEX_WRITE_EXPORT(SheetLteFilterWr_Lte)
CALVEX_WRITE_EXPORT(SheetLteFilterWr_LteMerge)
CALVEX_WRITE_EXPORT(SheetLteMprWr)
CALVEX_WRITE_EXPORT(SheetLteMprWr_Lte)
CALVEX_WRITE_EXPORT(SheetLteMprWr_LteMerge)
CALVEX_WRITE_EXPORT(SheetLtePhseWr)
CALVEX_WRITE_EXPORT(SheetLtePhseWr_Lte)
CALVEX_WRITE_EXPORT(SheetLtePhseWr_LteMerge)
CALVEX_WRITE_EXPORT(SheetLteCapacityWr)
CALVEX_WRITE_EXPORT(SheetLteCapacityWr_Lte)
CALVEX_WRITE_EXPORT(SheetLteCapacityWr_LteMerge)
CALVEX_WRITE_EXPORT(SheetLtePwtAndOtherFlags)
CALVEX_WRITE_EXPORT(SheetLteSwitchPaCtrlWordWr)
CALVEX_WRITE_EXPORT(SheetLteSwitchPaCtrlWordWr_Lte)
CALVEX_WRITE_EXPORT(SheetLteSwitchPaCtrlWordWr_LteMerge)
CALVEX_WRITE_EXPORT(SheetLteTmpCompWr)
CALVEX_WRITE_EXPORT(SheetLteTmpCompWr_Lte)
CALVEX_WRITE_EXPORT(SheetLteTmpCompWr_LteMerge)

/* TD-SCDMA */
CALVEX_WRITE_EXPORT(SheetTdscdmaNvCtrlWr)
CALVEX_READ_EXPORT(SheetTdscdmaNvCtrlRd)
CALVEX_WRITE_EXPORT(SheetTdscdmaSwitchPaCtrlWordWr)
CALVEX_READ_EXPORT(SheetTdscdmaSwitchPaCtrlWordRd)
CALVEX_WRITE_EXPORT(SheetTdscdmaTmpCompWr)
CALVEX_READ_EXPORT(SheetTdscdmaTmpCompRd)

/* WCDMA */
CALVEX_WRITE_EXPORT(SheetWcdmaAntExchangeWr)
CALVEX_READ_EXPORT(SheetWcdmaAntExchangeRd)
CALVEX_WRITE_EXPORT(SheetWcdmaMaxPowWr)
CALVEX_READ_EXPORT(SheetWcdmaMaxPowRd)
CALVEX_WRITE_EXPORT(SheetWcdmaNotchWr)
CALVEX_READ_EXPORT(SheetWcdmaNotchRd)
CALVEX_WRITE_EXPORT(SheetWcdmaSwitchPaCtrlWordWr)
CALVEX_READ_EXPORT(SheetWcdmaSwitchPaCtrlWordRd)
CALVEX_WRITE_EXPORT(SheetWcdmaTmpCompWr)
CALVEX_READ_EXPORT(SheetWcdmaTmpCompRd)

#undef CALVEX_WRITE_EXPORT
#undef CALVEX_READ_EXPORT

#ifdef __cplusplus
}
#endif
#endif /* CALVEX_H */
