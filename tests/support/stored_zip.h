// A zip archive whose entries are stored (not compressed), made in memory: the
// smallest real archive a test can put where a packed download lies.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarvolin::testing {

inline std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& entries) {
  auto put16 = [](std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
  };
  auto put32 = [&put16](std::string& out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(out, static_cast<std::uint16_t>(v >> 16));
  };
  std::string archive, directory;
  for (const auto& [name, data] : entries) {
    const std::uint32_t crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    const std::uint32_t offset = static_cast<std::uint32_t>(archive.size());
    const std::uint32_t size = static_cast<std::uint32_t>(data.size());
    const std::uint16_t name_length = static_cast<std::uint16_t>(name.size());
    put32(archive, 0x04034b50);
    for (std::uint16_t v : {20, 0, 0, 0, 0}) put16(archive, v);  // version, flags, stored, time, date
    for (std::uint32_t v : {crc, size, size}) put32(archive, v);
    put16(archive, name_length);
    put16(archive, 0);
    archive += name + data;
    put32(directory, 0x02014b50);
    for (std::uint16_t v : {20, 20, 0, 0, 0, 0}) put16(directory, v);  // made by, needed, flags, stored, time, date
    for (std::uint32_t v : {crc, size, size}) put32(directory, v);
    put16(directory, name_length);
    for (std::uint16_t v : {0, 0, 0, 0}) put16(directory, v);  // extra, comment, disk, internal attributes
    put32(directory, 0);                                       // external attributes
    put32(directory, offset);
    directory += name;
  }
  const std::uint32_t directory_offset = static_cast<std::uint32_t>(archive.size());
  archive += directory;
  put32(archive, 0x06054b50);
  put16(archive, 0);
  put16(archive, 0);
  put16(archive, static_cast<std::uint16_t>(entries.size()));
  put16(archive, static_cast<std::uint16_t>(entries.size()));
  put32(archive, static_cast<std::uint32_t>(directory.size()));
  put32(archive, directory_offset);
  put16(archive, 0);
  return archive;
}

}  // namespace tarvolin::testing
