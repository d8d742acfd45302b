// Loads Calvex.dll with LoadLibraryW, finds its exports by name, and checks
// a write and a read of the temperature DAC table on a temporary image, the
// message sink, and that an image held open elsewhere is refused.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "calvex.h"

namespace {

using TextNewFn = CalvexText(CALVEX_CALL*)(const CalvexChar*);
using TextReleaseFn = void(CALVEX_CALL*)(CalvexText);
using SetSinkFn = void(CALVEX_CALL*)(CalvexMessageSink, void*);
using WriteFn = void(CALVEX_CALL*)(const CellRange*, int32_t, CalvexText);
using ReadFn = void(CALVEX_CALL*)(SheetCell*, int32_t, CalvexText);

int failures = 0;

void check(bool ok, const char* what) {
  if (!ok) {
    std::printf("FAIL: %s\n", what);
    ++failures;
  }
}

std::vector<std::u16string> messages;

void CALVEX_CALL sink(const CalvexChar* text, void* context) {
  check(context == &messages, "sink receives its context");
  messages.emplace_back(text);
}

std::u16string u16_of(int value) {
  const std::string s = std::to_string(value);
  return std::u16string(s.begin(), s.end());
}

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

}  // namespace

int wmain() {
  HMODULE dll = LoadLibraryW(L"Calvex.dll");
  if (dll == nullptr) {
    std::printf("FAIL: LoadLibraryW(Calvex.dll)\n");
    return 1;
  }
  auto text_new = find<TextNewFn>(dll, "CalvexTextNew");
  auto text_release = find<TextReleaseFn>(dll, "CalvexTextRelease");
  auto set_sink = find<SetSinkFn>(dll, "CalvexSetMessageSink");
  auto write = find<WriteFn>(dll, "SheetphyCommonTempDacTabWr");
  auto read = find<ReadFn>(dll, "SheetphyCommonTempDacTabRd");
  check(GetProcAddress(dll, "_SetLteVersion") == nullptr, "no decorated names");
  if (failures) return 1;

  wchar_t dir[MAX_PATH];
  wchar_t file[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  GetTempFileNameW(dir, L"nv", 0, file);  // creates the empty image
  const std::wstring image = file;
  {
    HANDLE h = CreateFileW(image.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<unsigned char> fill(0x500, 0xA5);
    DWORD put = 0;
    WriteFile(h, fill.data(), static_cast<DWORD>(fill.size()), &put, nullptr);
    CloseHandle(h);
  }
  const std::u16string image16(image.begin(), image.end());
  set_sink(sink, &messages);

  std::vector<CalvexText> cells;
  for (int i = 0; i < 27; ++i) {
    cells.push_back(text_new(u16_of(1000 + i).c_str()));
  }
  CellRange range{cells.data(), 0, 0, 0, 26};
  write(&range, 1, text_new(image16.c_str()));
  check(messages.size() == 1 && messages[0] == u"修改完成！", "write shows its success message");

  const std::vector<unsigned char> bytes = read_all(image);
  bool stored = bytes.size() == 0x500;
  for (int i = 0; stored && i < 27; ++i) {
    const unsigned v = bytes[0x480 + 2 * i] | (bytes[0x481 + 2 * i] << 8);
    stored = v == 1000u + i;
  }
  check(stored, "the 27 values are stored little-endian at 0x480");
  check(bytes.size() > 0x47F && bytes[0x47F] == 0xA5 && bytes[0x480 + 54] == 0xA5, "nothing else is touched");

  std::vector<SheetCell> out(27);
  for (SheetCell& c : out) c = SheetCell{text_new(u""), 0};
  messages.clear();
  read(out.data(), 27, text_new(image16.c_str()));
  check(messages.empty(), "read shows no message");
  bool texts = true;
  for (int i = 0; i < 27; ++i) {
    texts = texts && std::u16string(out[i].text) == u16_of(1000 + i) && out[i].mark == 2;
  }
  check(texts, "read gives back the texts with mark 2");
  for (SheetCell& c : out) text_release(c.text);

  // An image that another handle holds open is refused and left unchanged.
  HANDLE holder = CreateFileW(image.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  check(holder != INVALID_HANDLE_VALUE, "test holds the image");
  messages.clear();
  for (CalvexText& c : cells) {
    text_release(c);
    c = text_new(u"77");
  }
  write(&range, 1, text_new(image16.c_str()));
  check(messages.size() == 1 && messages[0] == u"文件打开失败！", "held image: open failure message");
  CloseHandle(holder);
  check(read_all(image) == bytes, "held image is unchanged");

  for (CalvexText c : cells) text_release(c);
  set_sink(nullptr, nullptr);
  DeleteFileW(image.c_str());
  FreeLibrary(dll);
  std::printf(failures ? "%d failure(s)\n" : "all checks passed\n", failures);
  return failures ? 1 : 0;
}
