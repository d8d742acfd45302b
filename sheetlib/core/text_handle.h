// Text handles as they cross the boundary: a pointer to the first UTF-16
// code unit, with the header in front of it. The layout is the host
// framework's wide string layout; tests pin it per target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "calvex.h"

namespace calvex {

class TextManager;

struct TextHeader {
  TextManager* manager;
  int32_t length;    // code units in use, without the terminator
  int32_t capacity;  // code units allocated, without the terminator
  int32_t refs;      // reference count; negative: locked by its owner
};

static_assert(sizeof(void*) != 4 || sizeof(TextHeader) == 16, "text header is 16 bytes on 32-bit targets");
static_assert(sizeof(void*) != 8 || sizeof(TextHeader) == 24, "text header is 24 bytes on 64-bit targets");
static_assert(offsetof(TextHeader, refs) == sizeof(void*) + 8);

// The allocator interface behind a text: its first member is the pointer to
// a table of these five functions, in this order, called as member functions
// of the platform's C++ ABI (thiscall on 32-bit Windows).
class TextManager {
 public:
  virtual TextHeader* Allocate(int32_t capacity, int32_t charSize) = 0;
  virtual void Free(TextHeader* header) = 0;
  virtual TextHeader* Reallocate(TextHeader* header, int32_t capacity, int32_t charSize) = 0;
  virtual TextHeader* GetNilString() = 0;
  virtual TextManager* Clone() = 0;

 protected:
  ~TextManager() = default;
};

// Header of a handle (the handle must not be null).
inline TextHeader* header_of(CalvexText text) {
  return reinterpret_cast<TextHeader*>(reinterpret_cast<unsigned char*>(text) - sizeof(TextHeader));
}
// Handle of a header.
inline CalvexText text_of(TextHeader* header) {
  return reinterpret_cast<CalvexText>(reinterpret_cast<unsigned char*>(header) + sizeof(TextHeader));
}

// The code units [0, length) of a handle; a null handle reads as empty.
std::u16string_view read_text(CalvexText text);
// Releases a handle: refs > 0 is decremented, and at 0 the manager frees it.
// Locked buffers (refs < 0) and null handles are left alone.
void release_text(CalvexText text);
// Raises refs by one unless the buffer is locked; returns text.
CalvexText retain_text(CalvexText text);
// Assigns value to the host's handle *slot (see the boundary's assign rule):
// returns false and leaves *slot unchanged if the allocation fails.
bool assign_text(CalvexText* slot, std::u16string_view value);

// The library's own manager (heap memory, one block per text).
TextManager& library_manager();
// A new handle with value from the library's manager; null on failure.
CalvexText new_text(std::u16string_view value);

}  // namespace calvex
