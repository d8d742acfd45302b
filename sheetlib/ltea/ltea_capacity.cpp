// LTE-A capacity sheet: the 32-bit capacity value of each of the four
// phase/capacity pairs, four hexadecimal cells in pair order 0, 2, 1, 3.
#include "boundary.h"
#include "ltea/ltea_context.h"

namespace calvex::ltea {
namespace {

constexpr PairSheet kCapacity = {kCapacityInPair, &msg::kLteaCapacityConfig, &msg::kLteaCapacityRange};

void write_capacity(const WriteArgs& args, const std::u16string& path) { write_pair_sheet(args, path, kCapacity); }
void read_capacity(ReadCells& out, const std::u16string& path) { read_pair_sheet(out, path, kCapacity); }

}  // namespace
}  // namespace calvex::ltea

CALVEX_DEFINE_WRITE(SheetLteaCapacityWr, calvex::ltea::write_capacity)
CALVEX_DEFINE_READ(SheetLteaCapacityRd, calvex::ltea::read_capacity)
