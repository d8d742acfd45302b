#include "messages.h"

namespace calvex {
namespace {
constexpr Message kCatalogue[] = {
#define CALVEX_MSG(name, cls, text) msg::name,
#include "messages.inc"
#undef CALVEX_MSG
};
}  // namespace

const Message* catalogue_begin() { return kCatalogue; }
const Message* catalogue_end() { return kCatalogue + sizeof(kCatalogue) / sizeof(kCatalogue[0]); }

}  // namespace calvex
