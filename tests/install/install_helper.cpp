// A program the install tests put into installations and start:
//   (no arguments)          writes "<own path>.ran"
//   append <file> <word>    appends "<word>\n" to <file> (a bare name: beside this program)
//   stay <ready file>       writes <ready file>, then keeps running (a minute at most)
//   hold <file> <ready file>  opens <file> without sharing, writes <ready file>,
//                           then keeps running with it open (a minute at most)
//   anything else           appends the arguments as one line to "<own path>.args"
// Files are written whole, so a test polling for them never reads half of one.
#include <windows.h>

#include <string>

namespace {

constexpr DWORD kStayMs = 60000;

std::wstring OwnPath() {
  wchar_t buffer[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return buffer;
}

bool Append(const std::wstring& path, const std::wstring& text) {
  HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string bytes(text.begin(), text.end());  // the tests use ASCII only
  DWORD written = 0;
  BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok != FALSE;
}

// The command line after the program's own name.
std::wstring ArgumentTail() {
  const wchar_t* line = ::GetCommandLineW();
  bool quoted = false;
  while (*line && (quoted || (*line != L' ' && *line != L'\t'))) {
    if (*line == L'"') quoted = !quoted;
    ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 1) {
    const std::wstring marker = OwnPath() + L".ran";
    const std::wstring partial = marker + L".partial";
    if (!Append(partial, L"ran")) return 1;
    return ::MoveFileExW(partial.c_str(), marker.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
  }
  if (argc == 4 && std::wstring(argv[1]) == L"append") {
    std::wstring file = argv[2];
    if (file.find_first_of(L"\\/:") == std::wstring::npos) {
      const std::wstring own = OwnPath();
      file = own.substr(0, own.find_last_of(L'\\') + 1) + file;
    }
    return Append(file, std::wstring(argv[3]) + L"\n") ? 0 : 1;
  }
  if (argc == 3 && std::wstring(argv[1]) == L"stay") {
    if (!Append(argv[2], L"ready")) return 1;
    ::Sleep(kStayMs);
    return 0;
  }
  if (argc == 4 && std::wstring(argv[1]) == L"hold") {
    HANDLE held = ::CreateFileW(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) return 1;
    if (!Append(argv[3], L"ready")) return 1;
    ::Sleep(kStayMs);
    ::CloseHandle(held);
    return 0;
  }
  return Append(OwnPath() + L".args", ArgumentTail() + L"\n") ? 0 : 1;
}
