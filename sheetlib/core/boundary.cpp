// The boundary layer: text handles, the helper exports, the message sink,
// the layout switch, and the guard every export runs its operation in.
#include "boundary.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "text_handle.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace calvex {
namespace {

// ---- the library's own text manager ----

class HeapTextManager final : public TextManager {
 public:
  HeapTextManager() { nil_.header = TextHeader{this, 0, 0, 1}; }

  TextHeader* Allocate(int32_t capacity, int32_t charSize) override {
    if (capacity < 0 || charSize != static_cast<int32_t>(sizeof(char16_t))) return nullptr;
    const size_t units = static_cast<size_t>(capacity) + 1;
    void* block = std::malloc(sizeof(TextHeader) + units * sizeof(char16_t));
    if (block == nullptr) return nullptr;
    auto* header = static_cast<TextHeader*>(block);
    *header = TextHeader{this, 0, capacity, 1};
    text_of(header)[0] = 0;
    return header;
  }

  void Free(TextHeader* header) override {
    if (header == nullptr || header == &nil_.header) return;
    std::free(header);
  }

  TextHeader* Reallocate(TextHeader* header, int32_t capacity, int32_t charSize) override {
    if (header == nullptr || header == &nil_.header || capacity < header->length ||
        charSize != static_cast<int32_t>(sizeof(char16_t))) {
      return nullptr;
    }
    const size_t units = static_cast<size_t>(capacity) + 1;
    void* block = std::realloc(header, sizeof(TextHeader) + units * sizeof(char16_t));
    if (block == nullptr) return nullptr;
    auto* moved = static_cast<TextHeader*>(block);
    moved->capacity = capacity;
    return moved;
  }

  TextHeader* GetNilString() override {
    if (nil_.header.refs > 0 && nil_.header.refs < INT32_MAX) ++nil_.header.refs;
    return &nil_.header;
  }

  TextManager* Clone() override { return this; }

 private:
  // The shared empty text: header and terminator, never freed.
  struct Nil {
    TextHeader header;
    char16_t terminator[1] = {0};
  };
  static_assert(offsetof(Nil, terminator) == sizeof(TextHeader), "empty text follows its header");
  Nil nil_;
};

// ---- message sink ----

CalvexMessageSink g_sink = nullptr;
void* g_sink_context = nullptr;
MessageObserver g_observer = nullptr;
void* g_observer_context = nullptr;

void default_message_box(const std::u16string& text) {
#if defined(_WIN32)
  wchar_t module[MAX_PATH] = {0};
  const DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
  const wchar_t* caption = module;
  if (n > 0 && n < MAX_PATH) {
    for (const wchar_t* p = module; *p != 0; ++p) {
      if (*p == L'\\' || *p == L'/') caption = p + 1;
    }
    if (wchar_t* dot = wcsrchr(const_cast<wchar_t*>(caption), L'.')) *dot = 0;
  }
  MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text.c_str()), caption, MB_OK);
#else
  const std::string line = to_utf8(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
#endif
}

// ---- the layout switch ----

int32_t g_lte_layout = 0;

// ---- host data as plain values ----

class HostRanges final : public WriteArgs {
 public:
  // What a NULL ranges or cells pointer counts as: no sheet has as many.
  static constexpr int32_t kNoRanges = -1;
  static constexpr int64_t kNoCells = -1;

  HostRanges(const CellRange* ranges, int32_t count) : ranges_(ranges), count_(count) {}

  int32_t range_count() const override { return ranges_ == nullptr && count_ > 0 ? kNoRanges : count_; }

  int64_t cell_count(int32_t i) const override {
    if (ranges_ == nullptr || i < 0 || i >= count_) return 0;
    const CellRange& r = ranges_[i];
    const int64_t rows = static_cast<int64_t>(r.y2) - r.y1 + 1;
    const int64_t cols = static_cast<int64_t>(r.x2) - r.x1 + 1;
    int64_t cells = 0;
    // Each extent lies within +-2^32, so only the product can overflow: a
    // product beyond 64 bits matches no sheet's count.
    if (__builtin_mul_overflow(rows, cols, &cells)) return INT64_MAX;
    if (cells > 0 && r.cells == nullptr) return kNoCells;
    return cells;
  }

  Cells copy_range(int32_t i) const override {
    const int64_t n = cell_count(i);
    Cells out;
    if (n <= 0 || ranges_[i].cells == nullptr) return out;
    out.reserve(static_cast<size_t>(n));
    for (int64_t k = 0; k < n; ++k) out.emplace_back(read_text(ranges_[i].cells[k]));
    return out;
  }

 private:
  const CellRange* ranges_;
  int32_t count_;
};

class HostCells final : public ReadCells {
 public:
  HostCells(SheetCell* cells, int32_t count) : cells_(cells), count_(count) {}

  int32_t count() const override { return count_; }

  void assign(int32_t i, std::u16string_view text, int32_t mark) override {
    if (cells_ == nullptr || i < 0 || i >= count_) return;
    assign_text(&cells_[i].text, text);
    cells_[i].mark = mark;
  }

  void set_text(int32_t i, std::u16string_view text) override {
    if (cells_ == nullptr || i < 0 || i >= count_) return;
    assign_text(&cells_[i].text, text);
  }

 private:
  SheetCell* cells_;
  int32_t count_;
};

// Releases binPath when the export returns, after everything else.
class ConsumedText {
 public:
  explicit ConsumedText(CalvexText text) : text_(text) {}
  ~ConsumedText() { release_text(text_); }
  ConsumedText(const ConsumedText&) = delete;
  ConsumedText& operator=(const ConsumedText&) = delete;
  CalvexText get() const { return text_; }

 private:
  CalvexText text_;
};

// Runs an operation so that nothing escapes the export.
template <class Operation>
void guarded(Operation&& operation) noexcept {
  try {
    operation();
  } catch (const IoError&) {
    try {
      show(msg::kNvIoFailed);
    } catch (...) {
    }
  } catch (...) {
    try {
      show(msg::kInternalError);
    } catch (...) {
    }
  }
}

}  // namespace

// ---- handles ----

std::u16string_view read_text(CalvexText text) {
  if (text == nullptr) return {};
  const TextHeader* header = header_of(text);
  if (header->length <= 0) return {};
  return std::u16string_view(text, static_cast<size_t>(header->length));
}

void release_text(CalvexText text) {
  if (text == nullptr) return;
  TextHeader* header = header_of(text);
  if (header->refs <= 0) return;
  if (--header->refs == 0) header->manager->Free(header);
}

CalvexText retain_text(CalvexText text) {
  if (text == nullptr) return text;
  TextHeader* header = header_of(text);
  if (header->refs > 0 && header->refs < INT32_MAX) ++header->refs;
  return text;
}

bool assign_text(CalvexText* slot, std::u16string_view value) {
  if (slot == nullptr) return false;
  const CalvexText old = *slot;
  TextManager* manager = old != nullptr ? header_of(old)->manager : &library_manager();
  if (value.size() > static_cast<size_t>(INT32_MAX - 1)) return false;
  if (value.empty()) {
    TextHeader* nil = manager->GetNilString();
    if (nil == nullptr) return false;
    *slot = text_of(nil);
  } else {
    TextManager* allocator = manager->Clone();
    if (allocator == nullptr) return false;
    const int32_t length = static_cast<int32_t>(value.size());
    TextHeader* fresh = allocator->Allocate(length, static_cast<int32_t>(sizeof(char16_t)));
    if (fresh == nullptr) return false;
    CalvexText text = text_of(fresh);
    std::memcpy(text, value.data(), value.size() * sizeof(char16_t));
    text[value.size()] = 0;
    fresh->length = length;
    *slot = text;
  }
  release_text(old);
  return true;
}

TextManager& library_manager() {
  static HeapTextManager manager;
  return manager;
}

CalvexText new_text(std::u16string_view value) {
  CalvexText text = nullptr;
  if (!assign_text(&text, value)) return nullptr;
  return text;
}

// ---- messages ----

std::u16string format_message(const Message& m, std::initializer_list<std::u16string_view> args) {
  std::u16string out;
  const std::u16string_view text(m.text);
  auto next = args.begin();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'%' && i + 1 < text.size() && text[i + 1] == u's' && next != args.end()) {
      out.append(*next++);
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

namespace {

void deliver(const Message& m, std::u16string_view text) {
  if (g_observer != nullptr) {
    g_observer(m, text, g_observer_context);
    return;
  }
  const std::u16string copy(text);
  if (g_sink != nullptr) {
    g_sink(copy.c_str(), g_sink_context);
  } else {
    default_message_box(copy);
  }
}

}  // namespace

void show(const Message& m) { deliver(m, m.text); }

void show(const Message& m, std::initializer_list<std::u16string_view> args) { deliver(m, format_message(m, args)); }

ScopedMessageObserver::ScopedMessageObserver(MessageObserver observer, void* context)
    : previous_(g_observer), previous_context_(g_observer_context) {
  g_observer = observer;
  g_observer_context = context;
}

ScopedMessageObserver::~ScopedMessageObserver() {
  g_observer = previous_;
  g_observer_context = previous_context_;
}

void set_message_sink(CalvexMessageSink sink, void* context) {
  g_sink = sink;
  g_sink_context = sink != nullptr ? context : nullptr;
}

// ---- running operations ----

void run_write(const CellRange* ranges, int32_t rangeCount, CalvexText binPath, WriteBody body) noexcept {
  ConsumedText path(binPath);
  guarded([&] {
    const HostRanges args(ranges, rangeCount);
    body(args, std::u16string(read_text(path.get())));
  });
}

void run_write(const CellRange* ranges, int32_t rangeCount, CalvexText binPath, SheetCell* writeBack,
               int32_t writeBackCount, WriteBackBody body) noexcept {
  ConsumedText path(binPath);
  guarded([&] {
    const HostRanges args(ranges, rangeCount);
    HostCells out(writeBack, writeBackCount);
    body(args, std::u16string(read_text(path.get())), out);
  });
}

void run_read(SheetCell* cells, int32_t cellCount, CalvexText binPath, ReadBody body) noexcept {
  ConsumedText path(binPath);
  guarded([&] {
    HostCells out(cells, cellCount);
    body(out, std::u16string(read_text(path.get())));
  });
}

void call_write(WriteBody body, const WriteArgs& args, const std::u16string& path) noexcept {
  guarded([&] { body(args, path); });
}

void call_read(ReadBody body, ReadCells& out, const std::u16string& path) noexcept {
  guarded([&] { body(out, path); });
}

void call_write_back(WriteBackBody body, const WriteArgs& args, const std::u16string& path,
                     ReadCells& writeBack) noexcept {
  guarded([&] { body(args, path, writeBack); });
}

int32_t lte_layout_switch() { return g_lte_layout; }

void set_lte_layout_switch(int32_t value) { g_lte_layout = value; }

}  // namespace calvex
