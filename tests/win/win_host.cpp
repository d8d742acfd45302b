// Loads Calvex.dll with LoadLibraryW, finds its exports by name and drives it
// as the host application does, printing one line per check ("ok: ..." or
// "FAIL: ...") and a closing count:
// - the helper exports, a write and a read of the temperature DAC table, the
//   message sink, and an image held open elsewhere;
// - texts of the host's own text manager (the framework's wide string layout):
//   binPath and SheetCell handles released and assigned through the manager's
//   table, locked buffers left alone, a failed allocation leaving the cell;
// - writes and reads of sheets of every family, the read cells filled through
//   the manager's Clone/Allocate/GetNilString;
// - in the 32-bit build only: every manager call arrives thiscall (the manager
//   in ECX), a manager built with cdecl methods is caught, and every export
//   leaves its arguments on the stack for the caller (cdecl) while a stdcall
//   function measured the same way removes them.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "calvex.h"

#if defined(__i386__)
// Member functions of the host framework's classes: thiscall on 32-bit Windows.
#define HOST_METHOD __attribute__((thiscall))
#else
#define HOST_METHOD
#endif

namespace {

int failures = 0;
int passes = 0;

void check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAIL", what.c_str());
  std::fflush(stdout);
  ok ? ++passes : ++failures;
}

std::vector<std::u16string> messages;
bool sink_context_ok = true;

void CALVEX_CALL sink(const CalvexChar* text, void* context) {
  sink_context_ok = sink_context_ok && context == &messages;
  messages.emplace_back(text);
}

using Messages = std::vector<std::u16string>;

std::u16string u16(const std::string& s) { return std::u16string(s.begin(), s.end()); }
std::u16string u16_of(long long value) { return u16(std::to_string(value)); }

template <class Fn>
Fn find(HMODULE dll, const char* name) {
  auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
  if (fn == nullptr) {
    std::printf("FAIL: export %s not found\n", name);
    ++failures;
  }
  return fn;
}

std::vector<unsigned char> read_all(const std::wstring& path) {
  std::vector<unsigned char> bytes;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return bytes;
  unsigned char buf[4096];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.insert(bytes.end(), buf, buf + got);
  CloseHandle(h);
  return bytes;
}

void write_all(const std::wstring& path, const std::vector<unsigned char>& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD put = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
  CloseHandle(h);
}

unsigned le16(const std::vector<unsigned char>& b, size_t at) { return b[at] | (b[at + 1] << 8); }

// ---------------------------------------------------------------------------
// The host framework's text manager: the wide string header in front of the
// text, and a manager object whose first member points at its five methods.

struct Manager;

struct Header {
  Manager* manager;
  int32_t length;
  int32_t capacity;
  int32_t refs;
};
static_assert(sizeof(Header) == (sizeof(void*) == 4 ? 16 : 24), "the framework's wide string header");

struct Table {
  const void* allocate;
  const void* free;
  const void* reallocate;
  const void* get_nil;
  const void* clone;
};

struct NilText {
  Header header;
  CalvexChar text[2];
};

struct Manager {
  const Table* table;
  const char* name;
  Manager* clone_to;  // what Clone() hands out
  NilText nil;
  int fail_allocations = 0;  // the next n allocations fail
};

enum Slot { kAllocate, kFree, kReallocate, kGetNil, kClone };
const char* const kSlotNames[] = {"Allocate", "Free", "Reallocate", "GetNilString", "Clone"};

// One call of a manager method as the method saw it.
struct Call {
  Slot slot;
  const Manager* self;  // the object the method was called on: ECX in the 32-bit build
  bool register_ok;     // the 32-bit thunk saw the same object in ECX
  const void* header;
  int32_t a = 0, b = 0;
};
std::vector<Call> calls;
std::set<Header*> live;  // headers allocated by the host managers and not freed

CalvexText text_of(Header* h) {
  return reinterpret_cast<CalvexText>(reinterpret_cast<unsigned char*>(h) + sizeof(Header));
}
Header* header_of(CalvexText t) {
  return reinterpret_cast<Header*>(reinterpret_cast<unsigned char*>(t) - sizeof(Header));
}

Header* raw_allocate(Manager* m, int32_t capacity) {
  auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + (static_cast<size_t>(capacity) + 1) * 2));
  h->manager = m;
  h->length = 0;
  h->capacity = capacity;
  h->refs = 1;
  text_of(h)[0] = 0;
  live.insert(h);
  return h;
}

// A text of manager m with the given reference count (negative: locked).
CalvexText host_text(Manager& m, const std::u16string& s, int32_t refs = 1) {
  Header* h = raw_allocate(&m, static_cast<int32_t>(s.size()));
  std::memcpy(text_of(h), s.c_str(), (s.size() + 1) * 2);
  h->length = static_cast<int32_t>(s.size());
  h->refs = refs;
  return text_of(h);
}

// Frees a host text at the end of a check, as the host's own string would.
void host_drop(CalvexText t) {
  Header* h = header_of(t);
  if (live.erase(h)) std::free(h);
}

extern Manager host;
extern Manager pool;
bool known(const Manager* m) { return m == &host || m == &pool; }

// The methods. In the 32-bit build each table entry is a small thunk that
// records ECX and jumps to the method, so the record shows the register the
// caller really used; the methods themselves are thiscall. A call on an
// object that is not one of the managers is recorded and does nothing else.
const void* host_seen_ecx asm("host_seen_ecx") __attribute__((used)) = nullptr;

bool register_ok(const Manager* self) {
#if defined(__i386__)
  return host_seen_ecx == self;
#else
  (void)self;
  return true;
#endif
}

__attribute__((used)) Header* HOST_METHOD host_allocate(Manager* self, int32_t capacity,
                                                        int32_t char_size) asm("host_allocate");
__attribute__((used)) void HOST_METHOD host_free(Manager* self, Header* h) asm("host_free");
__attribute__((used)) Header* HOST_METHOD host_reallocate(Manager* self, Header* h, int32_t capacity,
                                                          int32_t char_size) asm("host_reallocate");
__attribute__((used)) Header* HOST_METHOD host_get_nil(Manager* self) asm("host_get_nil");
__attribute__((used)) Manager* HOST_METHOD host_clone(Manager* self) asm("host_clone");

Header* HOST_METHOD host_allocate(Manager* self, int32_t capacity, int32_t char_size) {
  calls.push_back({kAllocate, self, register_ok(self), nullptr, capacity, char_size});
  if (!known(self)) return nullptr;
  if (self->fail_allocations > 0) {
    --self->fail_allocations;
    return nullptr;
  }
  if (capacity < 0 || char_size != 2) return nullptr;
  return raw_allocate(self, capacity);
}

void HOST_METHOD host_free(Manager* self, Header* h) {
  const bool ours = live.count(h) != 0;
  calls.push_back({kFree, self, register_ok(self), h, ours ? h->refs : -99, ours && h->manager == self});
  if (known(self) && ours && h->manager == self) {
    live.erase(h);
    std::free(h);
  }
}

Header* HOST_METHOD host_reallocate(Manager* self, Header* h, int32_t capacity, int32_t char_size) {
  calls.push_back({kReallocate, self, register_ok(self), h, capacity, char_size});
  return nullptr;
}

Header* HOST_METHOD host_get_nil(Manager* self) {
  calls.push_back({kGetNil, self, register_ok(self), nullptr});
  if (!known(self)) return nullptr;
  ++self->nil.header.refs;
  return &self->nil.header;
}

Manager* HOST_METHOD host_clone(Manager* self) {
  calls.push_back({kClone, self, register_ok(self), nullptr});
  return known(self) ? self->clone_to : nullptr;
}

}  // namespace

#if defined(__i386__)
// Table entries: record ECX, then continue in the method.
void host_t_allocate() asm("host_t_allocate");
void host_t_free() asm("host_t_free");
void host_t_reallocate() asm("host_t_reallocate");
void host_t_get_nil() asm("host_t_get_nil");
void host_t_clone() asm("host_t_clone");
asm(".text\n"
    ".p2align 4\n"
    "host_t_allocate:\n"
    "  movl %ecx, host_seen_ecx\n"
    "  jmp host_allocate\n"
    ".p2align 4\n"
    "host_t_free:\n"
    "  movl %ecx, host_seen_ecx\n"
    "  jmp host_free\n"
    ".p2align 4\n"
    "host_t_reallocate:\n"
    "  movl %ecx, host_seen_ecx\n"
    "  jmp host_reallocate\n"
    ".p2align 4\n"
    "host_t_get_nil:\n"
    "  movl %ecx, host_seen_ecx\n"
    "  jmp host_get_nil\n"
    ".p2align 4\n"
    "host_t_clone:\n"
    "  movl %ecx, host_seen_ecx\n"
    "  jmp host_clone\n");

// Calls fn with count 32-bit argument words pushed right to left, the stack
// 16-byte aligned at the call, and measures what the callee did to ESP:
// out[0] = EAX on return, out[1] = bytes the callee removed from the stack,
// out[2] = 1 if EBX, ESI, EDI and EBP came back unchanged.
void host_measure(const void* fn, const uint32_t* args, int32_t count, uint32_t* out) asm("host_measure");
asm(".data\n"
    ".p2align 2\n"
    "host_probe_ebp: .long 0\n"
    "host_probe_eax: .long 0\n"
    ".text\n"
    ".p2align 4\n"
    "host_measure:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 16(%ebp), %ecx\n"
    "  leal 0(,%ecx,4), %edx\n"
    "  subl %edx, %esp\n"
    "  andl $-16, %esp\n"
    "  addl %edx, %esp\n"
    "  movl 12(%ebp), %esi\n"
    "1:\n"
    "  testl %ecx, %ecx\n"
    "  jz 2f\n"
    "  decl %ecx\n"
    "  pushl (%esi,%ecx,4)\n"
    "  jmp 1b\n"
    "2:\n"
    "  movl 8(%ebp), %eax\n"
    "  movl %ebp, host_probe_ebp\n"
    "  movl %esp, %ebx\n"
    "  movl $0x5eed0001, %esi\n"
    "  movl $0x5eed0002, %edi\n"
    "  movl $0x0badc0de, %ecx\n"
    "  call *%eax\n"
    "  movl %eax, host_probe_eax\n"
    "  movl %esp, %eax\n"
    "  subl %ebx, %eax\n"
    "  xorl %edx, %edx\n"
    "  cmpl $0x5eed0001, %esi\n"
    "  jne 3f\n"
    "  cmpl $0x5eed0002, %edi\n"
    "  jne 3f\n"
    "  cmpl host_probe_ebp, %ebp\n"
    "  jne 3f\n"
    "  movl $1, %edx\n"
    "3:\n"
    "  movl host_probe_ebp, %ebp\n"
    "  movl 20(%ebp), %ecx\n"
    "  movl %eax, 4(%ecx)\n"
    "  movl %edx, 8(%ecx)\n"
    "  movl host_probe_eax, %eax\n"
    "  movl %eax, (%ecx)\n"
    "  leal -12(%ebp), %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n");

// A manager built with cdecl methods: each finds its `this` on the stack. A
// thiscall caller leaves the object in ECX instead, so the method sees a
// wrong `this`. Only the methods without arguments are reachable (the texts
// of this manager are held twice, so they are never freed, and Clone hands
// out the thiscall pool), so the caller's stack stays whole.
#endif

namespace {

#if defined(__i386__)
__attribute__((cdecl)) Header* cdecl_get_nil(Manager* self);
__attribute__((cdecl)) Manager* cdecl_clone(Manager* self);
__attribute__((cdecl)) Header* cdecl_allocate(Manager* self, int32_t capacity, int32_t char_size);
__attribute__((cdecl)) void cdecl_free(Manager* self, Header* h);
__attribute__((cdecl)) Header* cdecl_reallocate(Manager* self, Header* h, int32_t capacity, int32_t char_size);
#endif

const Table kTable = {
#if defined(__i386__)
    reinterpret_cast<const void*>(&host_t_allocate),   reinterpret_cast<const void*>(&host_t_free),
    reinterpret_cast<const void*>(&host_t_reallocate), reinterpret_cast<const void*>(&host_t_get_nil),
    reinterpret_cast<const void*>(&host_t_clone),
#else
    reinterpret_cast<const void*>(&host_allocate),   reinterpret_cast<const void*>(&host_free),
    reinterpret_cast<const void*>(&host_reallocate), reinterpret_cast<const void*>(&host_get_nil),
    reinterpret_cast<const void*>(&host_clone),
#endif
};

// The host's managers: `host` makes the host's texts; its Clone hands out
// `pool`, so the texts the library assigns must come from `pool`.
Manager pool{&kTable, "pool", nullptr, {{nullptr, 0, 0, 1}, {0, 0}}, 0};
Manager host{&kTable, "host", &pool, {{nullptr, 0, 0, 1}, {0, 0}}, 0};

void init_managers() {
  pool.clone_to = &pool;
  pool.nil.header.manager = &pool;
  host.nil.header.manager = &host;
}

std::string hex(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", p);
  return buf;
}

std::string describe(const Call& c) {
  std::string s =
      std::string(kSlotNames[c.slot]) + " on " + (known(c.self) ? c.self->name : "unknown") + " this=" + hex(c.self);
  if (c.slot == kAllocate) s += " (" + std::to_string(c.a) + ", " + std::to_string(c.b) + ")";
  if (c.slot == kFree) s += " (" + hex(c.header) + ", refs " + std::to_string(c.a) + ")";
  return s;
}

// Every manager call: `this` (ECX) is one of the managers, and the arguments
// are what the boundary says: Allocate(n >= 0, 2), Free of a text of that
// manager whose refs just reached 0, no Reallocate.
int manager_calls = 0;
int manager_calls_bad = 0;
std::string first_bad_call;
void audit_calls() {
  for (const Call& c : calls) {
    ++manager_calls;
    bool ok = known(c.self) && c.register_ok;
    if (c.slot == kAllocate) ok = ok && c.a >= 0 && c.b == 2;
    if (c.slot == kFree) ok = ok && c.b == 1 && c.a == 0;
    if (c.slot == kReallocate) ok = false;
    if (!ok && manager_calls_bad++ == 0) first_bad_call = describe(c);
  }
}

// Reduces a call list to "Slot@manager" names for exact comparisons.
std::vector<std::string> call_names() {
  std::vector<std::string> names;
  for (const Call& c : calls) {
    names.push_back(std::string(kSlotNames[c.slot]) + "@" + (known(c.self) ? c.self->name : "unknown"));
  }
  return names;
}

// Takes the one Free of the binPath text h out of the call list; false
// unless there was exactly one.
bool take_path_free(const Header* h) {
  size_t found = 0;
  std::vector<Call> rest;
  for (const Call& c : calls) {
    if (c.slot == kFree && c.header == h) {
      ++found;
    } else {
      rest.push_back(c);
    }
  }
  calls = rest;
  return found == 1;
}

// ---------------------------------------------------------------------------
// Calls of the exports. In the 32-bit build every call goes through
// host_measure, and what each export did to the stack is recorded.

struct StackUse {
  int words = 0;
  int calls = 0;
  int bad = 0;
  uint32_t removed = 0;  // bytes removed by the callee on the first call
};
std::map<std::string, StackUse> stack_use;
std::vector<std::string> stack_order;

template <class T>
uint32_t word_of(T value) {
  if constexpr (std::is_pointer_v<T>) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
  } else {
    return static_cast<uint32_t>(value);
  }
}

template <class R>
R value_of(uint32_t word) {
  if constexpr (std::is_void_v<R>) {
    (void)word;
  } else if constexpr (std::is_pointer_v<R>) {
    return reinterpret_cast<R>(static_cast<uintptr_t>(word));
  } else {
    return static_cast<R>(word);
  }
}

template <class R, class... A, class... B>
R call(const char* name, R(CALVEX_CALL* fn)(A...), B... args) {
#if defined(__i386__)
  const uint32_t words[sizeof...(A) + 1] = {word_of<A>(static_cast<A>(args))..., 0};
  uint32_t out[3] = {0, 0, 0};
  host_measure(reinterpret_cast<const void*>(fn), words, static_cast<int32_t>(sizeof...(A)), out);
  auto [it, added] = stack_use.try_emplace(name);
  if (added) {
    stack_order.push_back(name);
    it->second.words = static_cast<int>(sizeof...(A));
    it->second.removed = out[1];
  }
  ++it->second.calls;
  if (out[1] != 0 || out[2] != 1) ++it->second.bad;
  return value_of<R>(out[0]);
#else
  (void)name;
  return fn(static_cast<A>(args)...);
#endif
}

using TextNewFn = CalvexText(CALVEX_CALL*)(const CalvexChar*);
using TextRetainFn = CalvexText(CALVEX_CALL*)(CalvexText);
using TextReleaseFn = void(CALVEX_CALL*)(CalvexText);
using SetSinkFn = void(CALVEX_CALL*)(CalvexMessageSink, void*);
using SetLteVersionFn = void(CALVEX_CALL*)(int32_t);
using IsLteMergeFn = int32_t(CALVEX_CALL*)();
using WriteFn = void(CALVEX_CALL*)(const CellRange*, int32_t, CalvexText);
using ReadFn = void(CALVEX_CALL*)(SheetCell*, int32_t, CalvexText);
using PinMuxFn = void(CALVEX_CALL*)(const CellRange*, int32_t, CalvexText, SheetCell*, int32_t);

HMODULE dll;
TextNewFn text_new;
TextRetainFn text_retain;
TextReleaseFn text_release;
SetSinkFn set_sink;

std::wstring temp_image(const wchar_t* prefix) {
  wchar_t dir[MAX_PATH];
  wchar_t file[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  GetTempFileNameW(dir, prefix, 0, file);
  return file;
}

// An image of size bytes of a fixed pattern.
std::vector<unsigned char> pattern(size_t size, unsigned seed) {
  std::vector<unsigned char> bytes(size);
  uint32_t x = seed * 2654435761u + 1;
  for (unsigned char& b : bytes) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<unsigned char>(x >> 24);
  }
  return bytes;
}

// Offsets where after differs from before outside [from, to) ranges.
bool only_changed(const std::vector<unsigned char>& before, const std::vector<unsigned char>& after,
                  const std::vector<std::pair<size_t, size_t>>& spans) {
  if (before.size() != after.size()) return false;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i]) continue;
    bool inside = false;
    for (const auto& s : spans) inside = inside || (i >= s.first && i < s.first + s.second);
    if (!inside) return false;
  }
  return true;
}

// Host cells for a read: texts of the host manager, all "?".
struct HostCells {
  std::vector<SheetCell> cells;
  std::vector<CalvexText> old;
  explicit HostCells(size_t n, Manager& m = host, int32_t refs = 1) {
    for (size_t i = 0; i < n; ++i) {
      cells.push_back(SheetCell{host_text(m, u"?", refs), -1});
      old.push_back(cells.back().text);
    }
  }
  ~HostCells() {
    for (SheetCell& c : cells) {
      if (live.count(header_of(c.text))) host_drop(c.text);
    }
    for (CalvexText t : old) host_drop(t);
  }
  HostCells(const HostCells&) = delete;
  HostCells& operator=(const HostCells&) = delete;
  std::vector<std::u16string> texts() const {
    std::vector<std::u16string> out;
    for (const SheetCell& c : cells) out.emplace_back(c.text, static_cast<size_t>(header_of(c.text)->length));
    return out;
  }
  std::vector<int32_t> marks() const {
    std::vector<int32_t> out;
    for (const SheetCell& c : cells) out.push_back(c.mark);
    return out;
  }
  // Each non-empty cell holds a new text of the pool: length and capacity its
  // code units, terminated, refs 1; each empty one the pool's or host's nil.
  bool assigned_from_pool() const {
    for (size_t i = 0; i < cells.size(); ++i) {
      const Header* h = header_of(cells[i].text);
      if (cells[i].text == old[i]) return false;
      if (h == &host.nil.header) continue;
      const size_t n = std::char_traits<char16_t>::length(cells[i].text);
      if (h->manager != &pool || h->refs != 1 || h->length != static_cast<int32_t>(n) || h->capacity != h->length ||
          !live.count(const_cast<Header*>(h))) {
        return false;
      }
    }
    return true;
  }
};

// The cell texts of one write: host texts, held by the host.
struct HostRanges {
  std::vector<std::vector<CalvexText>> texts;
  std::vector<CellRange> ranges;
  // Each range is a column of its cells.
  explicit HostRanges(const std::vector<std::vector<std::u16string>>& columns) {
    for (const auto& column : columns) {
      texts.emplace_back();
      for (const auto& s : column) texts.back().push_back(host_text(host, s));
    }
    for (auto& t : texts) ranges.push_back(CellRange{t.data(), 0, 0, 0, static_cast<int32_t>(t.size()) - 1});
  }
  ~HostRanges() {
    for (auto& r : texts)
      for (CalvexText t : r) host_drop(t);
  }
  HostRanges(const HostRanges&) = delete;
  HostRanges& operator=(const HostRanges&) = delete;
  bool untouched() const {
    for (const auto& r : texts)
      for (CalvexText t : r)
        if (header_of(t)->refs != 1 || !live.count(header_of(t))) return false;
    return true;
  }
};

// One write and one read of a sheet on a fresh image, all texts the host's:
// checks the message, the bytes, that the write leaves the image alone
// outside its spans, and the texts and marks read back.
struct SheetCase {
  const char* family;
  const char* sheet;
  WriteFn write;
  ReadFn read;
  std::vector<std::vector<std::u16string>> columns;
  Messages write_messages;
  std::vector<std::pair<size_t, std::vector<unsigned char>>> stored;  // exact bytes at offsets
  std::vector<std::pair<size_t, size_t>> spans;                       // where the write may change the image
  size_t read_count;
  std::vector<std::u16string> read_texts;
  std::vector<int32_t> read_marks;
};

// The assignments of a read, binPath's Free taken out: per non-empty text
// Clone on the old text's manager, Allocate(its length, 2) on what Clone
// gave, Free of the old text; per empty one GetNilString, then Free.
bool assignments(const std::vector<std::u16string>& texts) {
  const auto names = call_names();
  size_t at = 0, empty = 0, full = 0;
  std::multiset<int32_t> lengths, wanted;
  while (at < names.size()) {
    if (names[at] == "GetNilString@host" && at + 1 < names.size() && names[at + 1] == "Free@host") {
      ++empty;
      at += 2;
    } else if (names[at] == "Clone@host" && at + 2 < names.size() && names[at + 1] == "Allocate@pool" &&
               calls[at + 1].b == 2 && names[at + 2] == "Free@host") {
      ++full;
      lengths.insert(calls[at + 1].a);
      at += 3;
    } else {
      return false;
    }
  }
  for (const auto& t : texts) {
    if (!t.empty()) wanted.insert(static_cast<int32_t>(t.size()));
  }
  return full == wanted.size() && empty == texts.size() - wanted.size() && lengths == wanted;
}

void run_sheet(const SheetCase& s, const char* write_name, const char* read_name) {
  const std::wstring image = temp_image(L"sh");
  const std::u16string image16(image.begin(), image.end());
  const auto before = pattern(16384, static_cast<unsigned>(std::strlen(s.sheet)));
  write_all(image, before);
  const std::string what = std::string(s.family) + " " + s.sheet;
  {
    HostRanges ranges(s.columns);
    const CalvexText path = host_text(host, image16);
    messages.clear();
    calls.clear();
    call(write_name, s.write, ranges.ranges.data(), static_cast<int32_t>(ranges.ranges.size()), path);
    audit_calls();
    const auto after = read_all(image);
    bool bytes = only_changed(before, after, s.spans);
    for (const auto& [at, want] : s.stored) {
      bytes = bytes && after.size() >= at + want.size() && std::equal(want.begin(), want.end(), after.begin() + at);
    }
    const bool freed = take_path_free(header_of(path));
    check(messages == s.write_messages && bytes && ranges.untouched() && freed && calls.empty(),
          what + " write: its message, the exact bytes and nothing else, the host's cells untouched, binPath freed");
  }
  HostCells out(s.read_count);
  const CalvexText path = host_text(host, image16);
  messages.clear();
  calls.clear();
  call(read_name, s.read, out.cells.data(), static_cast<int32_t>(out.cells.size()), path);
  audit_calls();
  const bool freed = take_path_free(header_of(path));
  check(messages.empty() && out.texts() == s.read_texts && out.marks() == s.read_marks && out.assigned_from_pool() &&
            freed && assignments(s.read_texts),
        what + " read: " + std::to_string(s.read_count) +
            " texts and marks, each cell by Clone/Allocate(length, 2) or GetNilString, its old text freed");
  DeleteFileW(image.c_str());
}

std::vector<std::u16string> repeat(const std::u16string& s, size_t n) { return std::vector<std::u16string>(n, s); }

const Messages kDone = {u"修改完成！"};

void family_sheets() {
  auto ltea_filter_write = find<WriteFn>(dll, "SheetLteaFilterWr");
  auto ltea_filter_read = find<ReadFn>(dll, "SheetLteaFilterRd");
  auto gsm_write = find<WriteFn>(dll, "SheetGsmTmpCompWr");
  auto gsm_read = find<ReadFn>(dll, "SheetGsmTmpCompRd");
  auto td_write = find<WriteFn>(dll, "SheetTdscdmaTmpCompWr");
  auto td_read = find<ReadFn>(dll, "SheetTdscdmaTmpCompRd");
  auto ant_write = find<WriteFn>(dll, "SheetWcdmaAntExchangeWr");
  auto ant_read = find<ReadFn>(dll, "SheetWcdmaAntExchangeRd");
  auto dac_write = find<WriteFn>(dll, "SheetphyCommonTempDacTabWr");
  auto dac_read = find<ReadFn>(dll, "SheetphyCommonTempDacTabRd");
  if (!ltea_filter_write || !ltea_filter_read || !gsm_write || !gsm_read || !td_write || !td_read || !ant_write ||
      !ant_read || !dac_write || !dac_read) {
    return;
  }

  {  // Common: temperature DAC table, 27 values at 0x480.
    SheetCase s{"common", "TempDacTab", dac_write, dac_read, {}, kDone, {}, {{0x480, 54}}, 27, {}, {}};
    std::vector<std::u16string> column;
    std::vector<unsigned char> bytes;
    for (int i = 0; i < 27; ++i) {
      column.push_back(u16_of(3000 - 7 * i));
      bytes.push_back(static_cast<unsigned char>((3000 - 7 * i) & 0xFF));
      bytes.push_back(static_cast<unsigned char>((3000 - 7 * i) >> 8));
    }
    s.columns = {column};
    s.stored = {{0x480, bytes}};
    s.read_texts = column;
    s.read_marks = std::vector<int32_t>(27, 2);
    run_sheet(s, "SheetphyCommonTempDacTabWr", "SheetphyCommonTempDacTabRd");
  }
  {  // GSM: temperature compensation, 15 intervals, 8 TX ranges of 300, RX of 60.
    SheetCase s{"GSM", "GsmTmpComp", gsm_write, gsm_read, {}, kDone, {}, {{0x3E4, 0x16E0 - 0x3E4}, {0x1B28, 120}},
                2475,  {},           {}};
    std::vector<std::u16string> all;
    for (int i = 0; i < 2475; ++i) all.push_back(u16_of(i * 13 % 4001 - 2000));
    size_t at = 0;
    for (size_t n : {15, 300, 300, 300, 300, 300, 300, 300, 300, 60}) {
      s.columns.emplace_back(all.begin() + at, all.begin() + at + n);
      at += n;
    }
    // Interval 0 (-2000) at 0x3E4 + 30; TX range 1 row 1 interval 0 (cell 30: -1610) at 0x422; RX last at 0x1B9E.
    s.stored = {{0x3E4 + 30, {0x30, 0xF8}}, {0x422, {0xB6, 0xF9}}, {0x1B28 + 118, {0xCA, 0xF8}}};
    s.read_texts = all;
    s.read_marks = std::vector<int32_t>(2475, 2);
    run_sheet(s, "SheetGsmTmpCompWr", "SheetGsmTmpCompRd");
  }
  {  // LTE-A: filter, low 16 bits of six values at 388, read unsigned.
    SheetCase s{"LTE-A",
                "LteaFilter",
                ltea_filter_write,
                ltea_filter_read,
                {{u"1", u"70000", u"-1", u"0", u"abc", u" 32767"}},
                kDone,
                {{388, {0x01, 0x00, 0x70, 0x11, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x7F}}},
                {{388, 12}},
                6,
                {u"1", u"4464", u"65535", u"0", u"0", u"32767"},
                std::vector<int32_t>(6, 17)};
    run_sheet(s, "SheetLteaFilterWr", "SheetLteaFilterRd");
  }
  {  // TD-SCDMA: temperature compensation, two tables of 40 values at 420 and 500.
    std::vector<std::u16string> cells = repeat(u"X", 80);
    cells[0] = u"100";
    cells[1] = u"-20";
    cells[2] = u"200";
    cells[3] = u"-30";
    cells[76] = u"-1";
    cells[79] = u"40000";
    std::vector<std::u16string> back = repeat(u"0", 80);
    back[0] = u"100";
    back[1] = u"-20";
    back[2] = u"200";
    back[3] = u"-30";
    back[76] = u"65535";
    back[79] = u"-25536";
    SheetCase s{"TD-SCDMA",
                "TdscdmaTmpComp",
                td_write,
                td_read,
                {cells},
                kDone,
                {{420, {0x64, 0x00, 0xEC, 0xFF}},
                 {500, {0xC8, 0x00, 0xE2, 0xFF}},
                 {420 + 76, {0xFF, 0xFF}},
                 {500 + 78, {0x40, 0x9C}},
                 {424, std::vector<unsigned char>(72, 0)}},
                {{420, 160}},
                80,
                back,
                std::vector<int32_t>(80, 17)};
    run_sheet(s, "SheetTdscdmaTmpCompWr", "SheetTdscdmaTmpCompRd");
  }
  {  // WCDMA: antenna exchange, one GPIO entry per column at 200; its read empties the first cell only.
    std::vector<std::u16string> table = repeat(u"X", 30);  // 15 rows x 2 columns, row after row
    table[0] = u"1";
    table[24] = u"bad";
    table[25] = u" 0";
    std::vector<std::u16string> back = {u""};
    SheetCase s{"WCDMA",
                "WcdmaAntExchange",
                ant_write,
                ant_read,
                {table},
                kDone,
                {{200, {0x01, 0, 0, 0, 0x04, 0x00, 0x04, 0x00, 0x02, 0, 0, 0, 0x00, 0x00, 0x02, 0x00}}},
                {{200, 16}},
                1,
                back,
                {-1}};
    run_sheet(s, "SheetWcdmaAntExchangeWr", "SheetWcdmaAntExchangeRd");
  }
}

// Pin-mux and MIPI init: the write-back cells are the host's texts.
void pin_mux_write_back() {
  auto pin_mux = find<PinMuxFn>(dll, "SheetCommonPinMuxSelAndMipiInitWr");
  if (pin_mux == nullptr) return;
  const std::wstring image = temp_image(L"pm");
  const std::u16string image16(image.begin(), image.end());
  const auto before = pattern(16384, 77);
  write_all(image, before);
  std::vector<std::u16string> bus0 = {u"11", u"1A", u"07", u"22", u"1A", u"07"};
  for (int i = 0; i < 4; ++i) bus0.insert(bus0.end(), {u"X", u"", u""});
  HostRanges ranges({{u"ONLY MIPI0 MODE", u"NO SIM"}, bus0, {u"ignored"}});
  HostCells back(12);
  const CalvexText path = host_text(host, image16);
  messages.clear();
  calls.clear();
  call("SheetCommonPinMuxSelAndMipiInitWr", pin_mux, ranges.ranges.data(), 3, path, back.cells.data(), 12);
  audit_calls();
  const bool freed = take_path_free(header_of(path));
  const auto after = read_all(image);
  const Messages want = {
      u"修改完成，VC1~VC2复用为MIPI方式，完成初始化控制字配置！\r\n\r\n"
      u"Mipi0共有器件个数2，对应的UserID:\r\nDevice0 UserID: 0x7\r\nDevice1 UserID: 0xf\r\n\r\n"
      u"请使用器件对应的UserID生成Mipi控制字！"};
  // 32 init words (bus 0: five, bus 1: none), the pin-mux word 0xFFFE, no SIM function, mark 0.
  std::vector<unsigned char> words = {0x22, 0x5D, 0x07, 0x00, 0x1A, 0x5E, 0x07, 0x00, 0x0F, 0x5F,
                                      0x07, 0x00, 0x38, 0x5C, 0x07, 0x00, 0x38, 0x5C, 0x0F, 0x00};
  words.resize(128, 0);
  words.insert(words.end(), {0xFE, 0xFF, 0x00, 0x00});
  std::vector<std::u16string> texts = {u"0x7", u"0xf"};
  std::vector<int32_t> marks = {3, 3};
  for (int i = 2; i < 12; ++i) {
    texts.push_back(u"X");
    marks.push_back(2);
  }
  check(messages == want && std::equal(words.begin(), words.end(), after.begin() + 0x360) &&
            std::all_of(after.begin() + 0x4B8, after.begin() + 0x4BC, [](unsigned char b) { return b == 0; }) &&
            only_changed(before, after, {{0x360, 132}, {0x4B8, 4}}) && back.texts() == texts && back.marks() == marks &&
            back.assigned_from_pool() && ranges.untouched() && freed && assignments(texts),
        "common PinMuxMipiInit write: its message, the init words at 0x360, 12 write-back cells assigned through "
        "the host's manager (0x7 0xf, then X)");
  DeleteFileW(image.c_str());
}

// The boundary's release and assign rules on texts of the host's manager.
void handle_rules() {
  auto dac_write = find<WriteFn>(dll, "SheetphyCommonTempDacTabWr");
  auto dac_read = find<ReadFn>(dll, "SheetphyCommonTempDacTabRd");
  auto ant_read = find<ReadFn>(dll, "SheetWcdmaAntExchangeRd");
  if (!dac_write || !dac_read || !ant_read) return;
  const std::wstring image = temp_image(L"hr");
  const std::u16string image16(image.begin(), image.end());
  write_all(image, pattern(0x500, 5));
  HostRanges ranges({repeat(u"123", 27)});

  {  // binPath of refs 1: released to 0, so freed through its manager.
    const CalvexText path = host_text(host, image16);
    Header* h = header_of(path);
    messages.clear();
    calls.clear();
    call("SheetphyCommonTempDacTabWr", dac_write, ranges.ranges.data(), 1, path);
    audit_calls();
    check(messages == kDone && calls.size() == 1 && calls[0].slot == kFree && calls[0].self == &host &&
              calls[0].header == h && calls[0].a == 0 && !live.count(h),
          "binPath of refs 1: one Free(its header) on its manager, at refs 0, and nothing else");
  }
  {  // binPath of refs 2: one reference dropped, nothing freed.
    const CalvexText path = host_text(host, image16, 2);
    messages.clear();
    calls.clear();
    call("SheetphyCommonTempDacTabWr", dac_write, ranges.ranges.data(), 1, path);
    check(messages == kDone && calls.empty() && header_of(path)->refs == 1,
          "binPath of refs 2: refs 1 after the write, no manager call");
    host_drop(path);
  }
  {  // A locked binPath: read, never released.
    const CalvexText path = host_text(host, image16, -1);
    messages.clear();
    calls.clear();
    call("SheetphyCommonTempDacTabWr", dac_write, ranges.ranges.data(), 1, path);
    check(messages == kDone && calls.empty() && header_of(path)->refs == -1 && std::u16string(path) == image16,
          "locked binPath (refs -1): the write goes on, the buffer is left alone, no manager call");
    host_drop(path);
  }
  {  // Read cells holding texts of refs 2: new texts, the old ones dropped by one.
    HostCells shared(27, host, 2);
    const CalvexText path = host_text(host, image16);
    calls.clear();
    messages.clear();
    call("SheetphyCommonTempDacTabRd", dac_read, shared.cells.data(), 27, path);
    audit_calls();
    const bool freed = take_path_free(header_of(path));
    bool kept = true;
    for (CalvexText t : shared.old) kept = kept && live.count(header_of(t)) && header_of(t)->refs == 1;
    const auto names = call_names();
    check(messages.empty() && kept && freed && shared.assigned_from_pool() && shared.texts() == repeat(u"123", 27) &&
              std::count(names.begin(), names.end(), "Free@host") == 0,
          "read into cells of refs 2: new texts from Clone's manager, the old texts at refs 1, not freed");
  }
  {  // Locked read cells: new texts assigned, the locked buffers left as they are.
    HostCells locked(27, host, -1);
    const CalvexText path = host_text(host, image16);
    calls.clear();
    messages.clear();
    call("SheetphyCommonTempDacTabRd", dac_read, locked.cells.data(), 27, path);
    audit_calls();
    const bool freed = take_path_free(header_of(path));
    bool left = true;
    for (CalvexText t : locked.old) left = left && header_of(t)->refs == -1 && std::u16string(t) == u"?";
    const auto names = call_names();
    check(messages.empty() && left && freed && locked.assigned_from_pool() &&
              std::count(names.begin(), names.end(), "Free@host") == 0,
          "read into locked cells (refs -1): new texts assigned, the locked buffers left alone");
  }
  {  // A failed allocation leaves the cell as it was.
    HostCells cells(27);
    pool.fail_allocations = 1;
    const CalvexText path = host_text(host, image16);
    calls.clear();
    messages.clear();
    call("SheetphyCommonTempDacTabRd", dac_read, cells.cells.data(), 27, path);
    audit_calls();
    pool.fail_allocations = 0;
    take_path_free(header_of(path));
    const auto names = call_names();
    bool old_kept = true;
    for (const Call& c : calls) old_kept = old_kept && !(c.slot == kFree && c.header == header_of(cells.old[0]));
    check(cells.cells[0].text == cells.old[0] && header_of(cells.old[0])->refs == 1 && old_kept &&
              std::u16string(cells.cells[0].text) == u"?" && names.size() >= 2 && names[0] == "Clone@host" &&
              names[1] == "Allocate@pool",
          "Allocate failing (NULL) for the first cell: that cell keeps its text and its reference");
  }
  {  // An empty text: GetNilString of the old text's manager, then the old text released.
    HostCells cells(1);
    const int32_t nil_refs = host.nil.header.refs;
    const CalvexText path = host_text(host, image16);
    calls.clear();
    call("SheetWcdmaAntExchangeRd", ant_read, cells.cells.data(), 1, path);
    audit_calls();
    const bool freed = take_path_free(header_of(path));
    check(freed && cells.cells[0].text == text_of(&host.nil.header) && host.nil.header.refs == nil_refs + 1 &&
              call_names() == std::vector<std::string>{"GetNilString@host", "Free@host"} &&
              calls[1].header == header_of(cells.old[0]),
          "empty text: the cell gets its manager's nil text (refs raised by one), then its old text is freed");
    host.nil.header.refs = nil_refs;
  }
  {  // The helper exports on the host's texts.
    const CalvexText t = host_text(host, u"abc");
    Header* h = header_of(t);
    calls.clear();
    const CalvexText r = call("CalvexTextRetain", text_retain, t);
    const int32_t after_retain = h->refs;
    call("CalvexTextRelease", text_release, t);
    const bool one_left = h->refs == 1 && calls.empty();
    call("CalvexTextRelease", text_release, t);
    audit_calls();
    check(r == t && after_retain == 2 && one_left && calls.size() == 1 && calls[0].slot == kFree &&
              calls[0].self == &host && calls[0].header == h && !live.count(h),
          "CalvexTextRetain/Release on a host text: refs 2, then 1, then Free(its header) on its manager");
    const CalvexText locked = host_text(host, u"abc", -1);
    calls.clear();
    const CalvexText r2 = call("CalvexTextRetain", text_retain, locked);
    call("CalvexTextRelease", text_release, locked);
    call("CalvexTextRelease", text_release, static_cast<CalvexText>(nullptr));
    check(r2 == locked && header_of(locked)->refs == -1 && calls.empty(),
          "CalvexTextRetain/Release leave a locked buffer alone; Release(NULL) is ignored");
    host_drop(locked);
  }
  DeleteFileW(image.c_str());
}

void layout_switch() {
  auto set_version = find<SetLteVersionFn>(dll, "SetLteVersion");
  auto is_merge = find<IsLteMergeFn>(dll, "IsLteMerge");
  if (set_version == nullptr || is_merge == nullptr) return;
  const int32_t at_load = call("IsLteMerge", is_merge);
  call("SetLteVersion", set_version, -7);
  const int32_t set = call("IsLteMerge", is_merge);
  call("SetLteVersion", set_version, 0);
  check(at_load == 0 && set == -7 && call("IsLteMerge", is_merge) == 0,
        "SetLteVersion/IsLteMerge: 0 at load, -7 after SetLteVersion(-7), 0 again");
}

#if defined(__i386__)
Manager cdecl_manager;
int cdecl_calls = 0;
int cdecl_wrong_this = 0;

Header* cdecl_get_nil(Manager* self) {
  ++cdecl_calls;
  if (self != &cdecl_manager) ++cdecl_wrong_this;
  ++cdecl_manager.nil.header.refs;
  return &cdecl_manager.nil.header;
}
Manager* cdecl_clone(Manager* self) {
  ++cdecl_calls;
  if (self != &cdecl_manager) ++cdecl_wrong_this;
  return &pool;
}
// Not reachable in the check; a call would show as a wrong `this` too.
Header* cdecl_allocate(Manager* self, int32_t, int32_t) {
  ++cdecl_calls;
  if (self != &cdecl_manager) ++cdecl_wrong_this;
  return nullptr;
}
void cdecl_free(Manager* self, Header*) {
  ++cdecl_calls;
  if (self != &cdecl_manager) ++cdecl_wrong_this;
}
Header* cdecl_reallocate(Manager* self, Header*, int32_t, int32_t) {
  ++cdecl_calls;
  if (self != &cdecl_manager) ++cdecl_wrong_this;
  return nullptr;
}

const Table kCdeclTable = {
    reinterpret_cast<const void*>(&cdecl_allocate),   reinterpret_cast<const void*>(&cdecl_free),
    reinterpret_cast<const void*>(&cdecl_reallocate), reinterpret_cast<const void*>(&cdecl_get_nil),
    reinterpret_cast<const void*>(&cdecl_clone),
};

// The check that finds thiscall calls must also reject a manager whose
// methods expect cdecl: such a method does not find its manager as `this`.
void cdecl_manager_is_caught() {
  auto td_read = find<ReadFn>(dll, "SheetTdscdmaTmpCompRd");
  auto ant_read = find<ReadFn>(dll, "SheetWcdmaAntExchangeRd");
  if (td_read == nullptr || ant_read == nullptr) return;
  cdecl_manager = Manager{&kCdeclTable, "cdecl", &pool, {{nullptr, 0, 0, 1000}, {0, 0}}};
  cdecl_manager.nil.header.manager = &cdecl_manager;
  const std::wstring image = temp_image(L"cd");
  const std::u16string image16(image.begin(), image.end());
  write_all(image, pattern(6144, 9));
  {
    // Texts held twice by the host: the library's release never reaches Free.
    HostCells cells(80, cdecl_manager, 2);
    calls.clear();
    messages.clear();
    cdecl_calls = cdecl_wrong_this = 0;
    call("SheetTdscdmaTmpCompRd", td_read, cells.cells.data(), 80, host_text(host, image16));
    const int clones = cdecl_calls, clones_wrong = cdecl_wrong_this;
    HostCells empty(1, cdecl_manager, 2);
    cdecl_calls = cdecl_wrong_this = 0;
    call("SheetWcdmaAntExchangeRd", ant_read, empty.cells.data(), 1, host_text(host, image16));
    const int nils = cdecl_calls, nils_wrong = cdecl_wrong_this;
    audit_calls();
    check(clones == 80 && clones_wrong == 80 && nils == 1 && nils_wrong == 1,
          "negative: a manager with cdecl methods is flagged: Clone (80 calls) and GetNilString (1 call) did not "
          "find their manager as this");
    for (SheetCell& c : empty.cells) c.text = empty.old[0];  // the nil text is the cdecl manager's own
  }
  DeleteFileW(image.c_str());
}

int32_t __attribute__((stdcall)) stdcall_probe(const CellRange* r, int32_t n, CalvexText t) {
  return static_cast<int32_t>(reinterpret_cast<uintptr_t>(r) + n + reinterpret_cast<uintptr_t>(t));
}
int32_t __attribute__((cdecl)) cdecl_probe(const CellRange* r, int32_t n, CalvexText t) {
  return static_cast<int32_t>(reinterpret_cast<uintptr_t>(r) + n + reinterpret_cast<uintptr_t>(t));
}

// What each export did to ESP, and the same measure on a stdcall and a cdecl
// function of the write shape.
void stack_report() {
  for (const std::string& name : stack_order) {
    const StackUse& u = stack_use[name];
    check(u.bad == 0, "cdecl " + name + ": ESP back at the caller's " + std::to_string(4 * u.words) +
                          " bytes of arguments, EBX ESI EDI EBP kept (" + std::to_string(u.calls) +
                          (u.calls == 1 ? " call" : " calls") + ", the first removed " + std::to_string(u.removed) +
                          " bytes)");
  }
  const uint32_t args[3] = {0x1000, 2, 0x30};
  uint32_t out[3] = {0, 0, 0};
  host_measure(reinterpret_cast<const void*>(&stdcall_probe), args, 3, out);
  const uint32_t stdcall_removed = out[1];
  const bool stdcall_result = out[0] == 0x1032;
  host_measure(reinterpret_cast<const void*>(&cdecl_probe), args, 3, out);
  check(stdcall_removed == 12 && stdcall_result && out[1] == 0 && out[0] == 0x1032 && out[2] == 1,
        "the same measure tells the conventions apart: a stdcall function of the write shape removes " +
            std::to_string(stdcall_removed) + " bytes, a cdecl one " + std::to_string(out[1]));
}
#endif

}  // namespace

int wmain() {
  init_managers();
  dll = LoadLibraryW(L"Calvex.dll");
  if (dll == nullptr) {
    std::printf("FAIL: LoadLibraryW(Calvex.dll)\n");
    return 1;
  }
  text_new = find<TextNewFn>(dll, "CalvexTextNew");
  text_retain = find<TextRetainFn>(dll, "CalvexTextRetain");
  text_release = find<TextReleaseFn>(dll, "CalvexTextRelease");
  set_sink = find<SetSinkFn>(dll, "CalvexSetMessageSink");
  auto write = find<WriteFn>(dll, "SheetphyCommonTempDacTabWr");
  auto read = find<ReadFn>(dll, "SheetphyCommonTempDacTabRd");
  check(GetProcAddress(dll, "_SetLteVersion") == nullptr && GetProcAddress(dll, "SetLteVersion@4") == nullptr,
        "exports by their bare names, no decorated names");
  if (failures) return 1;
  std::printf("calvex_win_host: %d-bit, text header %u bytes, CellRange %u bytes, SheetCell %u bytes\n",
              static_cast<int>(8 * sizeof(void*)), static_cast<unsigned>(sizeof(Header)),
              static_cast<unsigned>(sizeof(CellRange)), static_cast<unsigned>(sizeof(SheetCell)));

  const std::wstring image = temp_image(L"nv");  // creates the empty image
  write_all(image, std::vector<unsigned char>(0x500, 0xA5));
  const std::u16string image16(image.begin(), image.end());
  call("CalvexSetMessageSink", set_sink, &sink, static_cast<void*>(&messages));

  std::vector<CalvexText> cells;
  for (int i = 0; i < 27; ++i) {
    cells.push_back(call("CalvexTextNew", text_new, u16_of(1000 + i).c_str()));
  }
  CellRange range{cells.data(), 0, 0, 0, 26};
  call("SheetphyCommonTempDacTabWr", write, static_cast<const CellRange*>(&range), 1,
       call("CalvexTextNew", text_new, image16.c_str()));
  check(messages.size() == 1 && messages[0] == u"修改完成！", "write shows its success message");

  const std::vector<unsigned char> bytes = read_all(image);
  bool stored = bytes.size() == 0x500;
  for (int i = 0; stored && i < 27; ++i) stored = le16(bytes, 0x480 + 2 * i) == 1000u + i;
  check(stored, "the 27 values are stored little-endian at 0x480");
  check(bytes.size() > 0x47F && bytes[0x47F] == 0xA5 && bytes[0x480 + 54] == 0xA5, "nothing else is touched");

  std::vector<SheetCell> out(27);
  for (SheetCell& c : out) c = SheetCell{call("CalvexTextNew", text_new, u""), 0};
  messages.clear();
  call("SheetphyCommonTempDacTabRd", read, out.data(), 27, call("CalvexTextNew", text_new, image16.c_str()));
  check(messages.empty(), "read shows no message");
  bool texts = true;
  for (int i = 0; i < 27; ++i) {
    texts = texts && std::u16string(out[i].text) == u16_of(1000 + i) && out[i].mark == 2;
  }
  check(texts, "read gives back the texts with mark 2");
  for (SheetCell& c : out) call("CalvexTextRelease", text_release, c.text);

  // An image that another handle holds open is refused and left unchanged.
  HANDLE holder =
      CreateFileW(image.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  check(holder != INVALID_HANDLE_VALUE, "test holds the image");
  messages.clear();
  for (CalvexText& c : cells) {
    call("CalvexTextRelease", text_release, c);
    c = call("CalvexTextNew", text_new, u"77");
  }
  call("SheetphyCommonTempDacTabWr", write, static_cast<const CellRange*>(&range), 1,
       call("CalvexTextNew", text_new, image16.c_str()));
  check(messages.size() == 1 && messages[0] == u"文件打开失败！", "held image: open failure message");
  CloseHandle(holder);
  check(read_all(image) == bytes, "held image is unchanged");
  for (CalvexText c : cells) call("CalvexTextRelease", text_release, c);
  DeleteFileW(image.c_str());

  handle_rules();
  family_sheets();
  pin_mux_write_back();
  layout_switch();
  check(sink_context_ok, "the sink receives its context with every message");
#if defined(__i386__)
  check(manager_calls > 0 && manager_calls_bad == 0,
        "thiscall: every one of " + std::to_string(manager_calls) + " manager calls arrived with its manager in ECX" +
            (manager_calls_bad ? ", first wrong: " + first_bad_call : std::string()));
  cdecl_manager_is_caught();
  stack_report();
#else
  check(manager_calls > 0 && manager_calls_bad == 0,
        "every one of " + std::to_string(manager_calls) + " manager calls arrived on its manager" +
            (manager_calls_bad ? ", first wrong: " + first_bad_call : std::string()));
#endif

  call("CalvexSetMessageSink", set_sink, static_cast<CalvexMessageSink>(nullptr), static_cast<void*>(nullptr));
  FreeLibrary(dll);
  std::printf("calvex_win_host: %d passed, %d failed\n", passes, failures);
  return failures ? 1 : 0;
}
