// The update's state as bytes, so that an elevated copy of the program can take
// over exactly where this one stopped. Pure functions, no Windows headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "updatelist/update_record.h"

namespace tarvolin {

// What the download list holds besides its methods.
struct DownloadListValues {
  int status = 0;                        // update status number
  std::vector<updatefileinfo> records{};  // due records, in list order
  std::wstring description{};
  std::vector<std::wstring> tasks{};     // task strings, in the order they run

  bool operator==(const DownloadListValues&) const = default;
};

// Bumped whenever the layout changes; readers refuse other versions rather than
// guess.
inline constexpr std::uint32_t kDownloadListFormatVersion = 3;

// Layout (little-endian): "TVDL", version u32, status i32, description,
// task count u32 and tasks, record count u32 and records (the eight strings in
// field order, the action u32, sha256, md5, then the patch count u32 and per patch from, url
// and its size as low and high u32). A string is its UTF-16
// unit count u32 followed by the units.
std::string SerializeDownloadList(const DownloadListValues& values);

// False for anything but a complete, well-formed image of the current version;
// `values` is then left as it was.
bool DeserializeDownloadList(std::string_view bytes, DownloadListValues& values);

}  // namespace tarvolin
