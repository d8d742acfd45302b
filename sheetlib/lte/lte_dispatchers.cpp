// The layout-neutral LTE exports: each reads the layout switch at the call
// and forwards the ranges and a retained binPath to the single (_Lte) or the
// merged (_LteMerge) export. They show nothing and check nothing themselves.
#include "boundary.h"

#define CALVEX_LTE_DISPATCHER(name)                                                                              \
  extern "C" CALVEX_API void CALVEX_CALL name(const CellRange* ranges, int32_t rangeCount, CalvexText binPath) { \
    ::calvex::forward_write(ranges, rangeCount, binPath,                                                         \
                            ::calvex::lte_layout_switch() != 0 ? name##_LteMerge : name##_Lte);                  \
  }

CALVEX_LTE_DISPATCHER(SheetLteFilterWr)
CALVEX_LTE_DISPATCHER(SheetLteMprWr)
CALVEX_LTE_DISPATCHER(SheetLtePhseWr)
CALVEX_LTE_DISPATCHER(SheetLteCapacityWr)
CALVEX_LTE_DISPATCHER(SheetLteSwitchPaCtrlWordWr)
CALVEX_LTE_DISPATCHER(SheetLteTmpCompWr)

#undef CALVEX_LTE_DISPATCHER
