#include "common/ini_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "common/files.h"
#include "common/text_encoding.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

// What the system's profile reader makes of the same bytes on disk.
std::wstring ReadThroughTheSystem(const std::wstring& path, const wchar_t* section, const wchar_t* key) {
  wchar_t buffer[1001] = {};
  const DWORD n = ::GetPrivateProfileStringW(section, key, L"", buffer, 1000, path.c_str());
  return std::wstring(buffer, n);
}

std::string Utf16Bytes(const std::wstring& text) {
  std::string bytes = "\xFF\xFE";
  for (wchar_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

// The configuration a run seals must read as the file it came from would have
// been read: every lookup below agrees with the system's reader, in each of
// the encodings a configuration arrives in.
TEST(IniText, ReadsAsTheSystemReadsTheSameFile) {
  const std::wstring long_value(1200, L'v');
  const std::wstring text =
      L"orphan=before any section\r\n"
      L"[Tarvolin]\r\n"
      L"Log=inst.log\r\n"
      L"  Spaced   =   padded value  \r\n"
      L"Quoted=\"in quotes\"\r\n"
      L"Single='single'\r\n"
      L"HalfQuoted=\"open\r\n"
      L"Equals=a=b=c\r\n"
      L"Empty=\r\n"
      L"NoEquals\r\n"
      L"Twice=first\r\n"
      L"twice=second\r\n"
      L"Long=" + long_value + L"\r\n"
      L"[UPDATEINFO]\n"
      L"ListURL=http://example.test/list.xml\n"
      L"[ tarvolin ]\r\n"
      L"Later=in the second section of the name\r\n"
      L"[APPLICATION]\r\n"
      L"Name=\x4E66\x540D\r\n"
      L"LastLine=no line end";
  const wchar_t* lookups[][2] = {
      {L"Tarvolin", L"Log"},        {L"tarvolin", L"LOG"},       {L"Tarvolin", L"Spaced"},
      {L"Tarvolin", L"Quoted"},     {L"Tarvolin", L"Single"},    {L"Tarvolin", L"HalfQuoted"},
      {L"Tarvolin", L"Equals"},     {L"Tarvolin", L"Empty"},     {L"Tarvolin", L"NoEquals"},
      {L"Tarvolin", L"Twice"},      {L"Tarvolin", L"Long"},      {L"Tarvolin", L"Later"},
      {L"Tarvolin", L"orphan"},     {L"UPDATEINFO", L"ListURL"}, {L"APPLICATION", L"Name"},
      {L"APPLICATION", L"LastLine"}, {L"Missing", L"Log"},       {L"Tarvolin", L"Missing"},
  };
  const std::pair<const char*, std::string> encodings[] = {
      {"ANSI", WideToAnsi(text)},
      {"UTF-16 with its mark", Utf16Bytes(text)},
      {"UTF-8 with its mark", "\xEF\xBB\xBF" + WideToUtf8(text)},
  };
  testing::TempFolder folder;
  for (const auto& [encoding, bytes] : encodings) {
    SCOPED_TRACE(encoding);
    const std::wstring path = folder / L"tarvolin.ini";
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    const IniText sealed = IniText::FromBytes(bytes);
    for (const auto& [section, key] : lookups) {
      EXPECT_EQ(sealed.Read(section, key), ReadThroughTheSystem(path, section, key)) << "[" << section << "] " << key;
    }
  }
  // The table above must not pass by reading nothing at all.
  const IniText sealed = IniText::FromBytes(Utf16Bytes(text));
  EXPECT_EQ(sealed.Read(L"tarvolin", L"spaced"), L"padded value");
  EXPECT_EQ(sealed.Read(L"APPLICATION", L"Name"), L"\x4E66\x540D");
}

}  // namespace
}  // namespace tarvolin
