// The layout-neutral LTE operations: each reads the layout switch at the call
// and runs the single (_Lte) or the merged (_LteMerge) operation. They show
// nothing and check nothing themselves.
#include "boundary.h"

namespace calvex::lte {
namespace {

template <const WriteBody* Single, const WriteBody* Merged>
void dispatch(const WriteArgs& args, const std::u16string& path) {
  (lte_layout_switch() != 0 ? *Merged : *Single)(args, path);
}

}  // namespace
}  // namespace calvex::lte

#define CALVEX_LTE_DISPATCHER(name) \
  CALVEX_DEFINE_WRITE(name, (calvex::lte::dispatch<&calvex::ops::name##_Lte, &calvex::ops::name##_LteMerge>))

CALVEX_LTE_DISPATCHER(SheetLteFilterWr)
CALVEX_LTE_DISPATCHER(SheetLteMprWr)
CALVEX_LTE_DISPATCHER(SheetLtePhseWr)
CALVEX_LTE_DISPATCHER(SheetLteCapacityWr)
CALVEX_LTE_DISPATCHER(SheetLteSwitchPaCtrlWordWr)
CALVEX_LTE_DISPATCHER(SheetLteTmpCompWr)

#undef CALVEX_LTE_DISPATCHER
