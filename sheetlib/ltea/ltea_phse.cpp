// LTE-A phase sheet: the 32-bit phase value of each of the four
// phase/capacity pairs, four hexadecimal cells in pair order 0, 2, 1, 3.
#include "boundary.h"
#include "ltea/ltea_context.h"

namespace calvex::ltea {
namespace {

constexpr PairSheet kPhase = {kPhaseInPair, &msg::kLteaPhseConfig, &msg::kLteaPhseRange};

void write_phse(const WriteArgs& args, const std::u16string& path) { write_pair_sheet(args, path, kPhase); }
void read_phse(ReadCells& out, const std::u16string& path) { read_pair_sheet(out, path, kPhase); }

}  // namespace
}  // namespace calvex::ltea

CALVEX_DEFINE_WRITE(SheetLteaPhseWr, calvex::ltea::write_phse)
CALVEX_DEFINE_READ(SheetLteaPhseRd, calvex::ltea::read_phse)
