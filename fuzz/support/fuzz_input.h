// What every fuzzer shares: turning the raw input into the text the program
// would see on Windows, and a check that turns a broken rule into a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace tarvolin::fuzz {

// A rule the code promises; a violation aborts, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                          \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "%s:%d: rule broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The ANSI code page stand-in: every byte is one character (Latin-1).
inline std::wstring AnsiToUnits(std::string_view bytes) {
  std::wstring text;
  text.reserve(bytes.size());
  for (char c : bytes) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return text;
}

// UTF-8 to the UTF-16 units Windows hands the program, one unit per wchar_t
// even where wchar_t is 32 bits wide, so the code sees what it sees there.
// Malformed bytes become U+FFFD, as MultiByteToWideChar does.
inline std::wstring Utf8ToUnits(std::string_view bytes) {
  std::wstring units;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    std::uint32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool valid = length != 0 && i + length <= bytes.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    if (!valid || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
      units.push_back(static_cast<wchar_t>(0xFFFD));
      ++i;
      continue;
    }
    if (code > 0xFFFF) {
      code -= 0x10000;
      units.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
      units.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
    } else {
      units.push_back(static_cast<wchar_t>(code));
    }
    i += length;
  }
  return units;
}

// Splits at LF; one CR before it is dropped. Empty input gives no lines.
inline std::vector<std::string_view> Lines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  while (!bytes.empty()) {
    std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
  }
  return lines;
}

}  // namespace tarvolin::fuzz
