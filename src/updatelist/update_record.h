// One record of an update list: a file of the product, a description text or
// an upgrade task. Every record array of the program holds these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvolin {

// Action bits of a file record.
inline constexpr std::uint32_t ActionRun = 0x1;       // run the file once installed
inline constexpr std::uint32_t ActionDelete = 0x2;    // delete it; nothing to download
inline constexpr std::uint32_t ActionRegister = 0x4;  // register it as a component
inline constexpr std::uint32_t ActionBoot = 0x8;      // ask for a restart
// Whole action words of the two record kinds that are not files; never
// combined with the bits above.
inline constexpr std::uint32_t DescriptionRecord = 0x7F000000;
inline constexpr std::uint32_t TaskRecord = 0x7E000000;

// The version text of description and task records: always newer than any file.
inline constexpr wchar_t kNonFileVersion[] = L"999";

// A binary patch that turns one older release of a file into this one: it
// applies only to an installed file whose sha256 is `from`.
struct PatchOffer {
  std::wstring from{};   // sha256 of the installed file, 64 lower-case hex digits
  std::wstring url{};    // relative to the list like a file's, or absolute
  long long size = 0;    // the patch's length in bytes

  bool operator==(const PatchOffer&) const = default;
};

// Fields in the order the program has always kept them. Every field has a
// default so that records can be written with only the fields that matter.
struct updatefileinfo {
  std::wstring url{};           // download URL; empty when the list gives none
  std::wstring path{};          // file: relative path; task: task string; description: its text
  std::wstring dstName{};       // destination name; copy of path for tasks and descriptions
  std::wstring version{};       // version or MD5 text, lower-cased and trimmed
  std::wstring spare{};         // not from the list; the downloader's message text
  std::wstring shortcut{};
  std::wstring shortcutIcon{};
  std::wstring iconIndex{};     // kept as text
  std::uint32_t action = 0;   // action bits, or one of the two record markers
  // What the downloaded file must hash to: the "sha256" attribute, and the md5
  // text when that is where the version came from. Empty when the list gives none.
  std::wstring sha256{};
  std::wstring md5{};
  // Patches against older releases; only kept for a record that carries a sha256.
  std::vector<PatchOffer> patches{};

  bool operator==(const updatefileinfo&) const = default;
};

}  // namespace tarvolin
