// The shared library's face: the 65 sheet exports and the helper exports,
// each a plain C function over the static library. Nothing else lives here.
#include "boundary.h"
#include "calvex.h"
#include "ops.h"
#include "text_handle.h"

extern "C" {

#define CALVEX_WRITE_OP(name)                                                                         \
  CALVEX_API void CALVEX_CALL name(const CellRange* ranges, int32_t rangeCount, CalvexText binPath) { \
    ::calvex::run_write(ranges, rangeCount, binPath, ::calvex::ops::name);                            \
  }
#define CALVEX_READ_OP(name)                                                                  \
  CALVEX_API void CALVEX_CALL name(SheetCell* cells, int32_t cellCount, CalvexText binPath) { \
    ::calvex::run_read(cells, cellCount, binPath, ::calvex::ops::name);                       \
  }
#define CALVEX_WRITE_BACK_OP(name)                                                                    \
  CALVEX_API void CALVEX_CALL name(const CellRange* ranges, int32_t rangeCount, CalvexText binPath,   \
                                   SheetCell* writeBack, int32_t writeBackCount) {                    \
    ::calvex::run_write(ranges, rangeCount, binPath, writeBack, writeBackCount, ::calvex::ops::name); \
  }
#include "ops.inc"
#undef CALVEX_WRITE_OP
#undef CALVEX_READ_OP
#undef CALVEX_WRITE_BACK_OP

CALVEX_API CalvexText CALVEX_CALL CalvexTextNew(const CalvexChar* text) {
  try {
    return calvex::new_text(text == nullptr ? std::u16string_view() : std::u16string_view(text));
  } catch (...) {
    return nullptr;
  }
}

CALVEX_API CalvexText CALVEX_CALL CalvexTextRetain(CalvexText t) { return calvex::retain_text(t); }

CALVEX_API void CALVEX_CALL CalvexTextRelease(CalvexText t) { calvex::release_text(t); }

CALVEX_API void CALVEX_CALL CalvexSetMessageSink(CalvexMessageSink sink, void* context) {
  calvex::set_message_sink(sink, context);
}

CALVEX_API void CALVEX_CALL SetLteVersion(int32_t value) { calvex::set_lte_layout_switch(value); }

CALVEX_API int32_t CALVEX_CALL IsLteMerge(void) { return calvex::lte_layout_switch(); }

}  // extern "C"
