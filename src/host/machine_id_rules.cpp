#include "host/machine_id_rules.h"

#include <algorithm>
#include <string>

#include "common/strings.h"
#include "common/text_encoding.h"

namespace tarvolin {
namespace {

constexpr std::size_t kIdLength = 9;
constexpr std::size_t kPartLength = 3;
// Serials of some drives begin with a run of hex-encoded spaces; the earlier
// scheme took only what follows the first such run.
constexpr wchar_t kBlankSerialRun[] = L"202020202020202020202020";
constexpr std::size_t kMacPairs[] = {0, 3, 6, 9, 12};

constexpr unsigned kEthernetAdapter = 6;
constexpr std::size_t kIdentifySerialOffset = 20;  // word 10
constexpr std::size_t kIdentifySerialLength = 20;  // words 10 to 19

bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsIdByte(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); }

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

std::wstring Tail(std::wstring_view text, std::size_t count) {
  return std::wstring(text.size() > count ? text.substr(text.size() - count) : text);
}

// `count` characters that start `from_end` characters before the end; parts
// of the range outside the text are left out.
std::wstring SliceFromEnd(std::wstring_view text, std::size_t from_end, std::size_t count) {
  const std::size_t start = text.size() > from_end ? text.size() - from_end : 0;
  return std::wstring(text.substr(start, count));
}

// A part of fewer than 3 characters: empty takes 3 characters of the
// processor id, one or two characters get leading zeros.
std::wstring FillShortPart(const std::wstring& part, std::wstring_view processor_id) {
  switch (part.size()) {
    case 0:
      return SliceFromEnd(processor_id, 6, kPartLength);
    case 1:
      return L"00" + part;
    case 2:
      return L"0" + part;
    default:
      return part;
  }
}

std::wstring ComposeId(std::wstring_view processor_id, const std::wstring& disk, const std::wstring& mac) {
  return NormalizeId(Tail(processor_id, kPartLength) + Tail(FillShortPart(disk, processor_id), kPartLength) +
                     Tail(FillShortPart(mac, processor_id), kPartLength));
}

}  // namespace

std::wstring NormalizeId(std::wstring_view text) {
  std::wstring upper(text);
  for (wchar_t& c : upper) c = AsciiUpper(c);
  std::string bytes = WideToAnsi(upper);
  if (bytes.size() > kIdLength) bytes.resize(kIdLength);
  std::wstring id;
  for (char c : bytes) id += IsIdByte(c) ? static_cast<wchar_t>(c) : L'S';
  return id;
}

std::wstring CurrentIdFromWmi(HardwareFacts facts) {
  std::wstring& p = facts.processor_id;
  if (p.size() < kIdLength) p.insert(0, kIdLength - p.size(), L'0');
  return ComposeId(p, facts.disk_serial, RemoveAll(facts.mac_address, L":"));
}

std::wstring CurrentIdFromDevices(const HardwareFacts& facts) {
  return ComposeId(facts.processor_id, facts.disk_serial, facts.mac_address);
}

std::wstring DiskSerialStandIn(std::wstring_view processor_id) {
  return std::wstring(processor_id.substr(processor_id.empty() ? 0 : 1, kPartLength));
}

std::wstring PreviousId(const HardwareFacts& facts) {
  const std::wstring a = facts.processor_id.empty() ? std::wstring(L"000000000") : facts.processor_id;

  std::wstring b = facts.disk_serial;
  const std::size_t run = b.find(kBlankSerialRun);
  if (run != std::wstring::npos) b.erase(0, run + std::wstring_view(kBlankSerialRun).size());
  if (b.empty()) b = SliceFromEnd(a, 6, kPartLength);

  std::wstring c;
  for (std::size_t pair : kMacPairs) c += facts.mac_address.substr(std::min(pair, facts.mac_address.size()), 2);
  if (c.empty()) c = SliceFromEnd(a, 9, kPartLength);

  return NormalizeId(Tail(a, kPartLength) + Tail(b, kPartLength) + Tail(c, kPartLength));
}

std::string UsableSerial(std::string_view serial) {
  if (serial.empty() || !(IsAsciiAlnum(serial.front()) || IsAsciiAlnum(serial.back()))) return std::string();
  const std::size_t begin = serial.find_first_not_of(' ');
  if (begin == std::string_view::npos) return std::string();
  const std::size_t end = serial.find_last_not_of(' ');
  return std::string(serial.substr(begin, end - begin + 1));
}

std::string SerialFromIdentifyData(const unsigned char* data, std::size_t size) {
  if (!data || size < kIdentifySerialOffset + kIdentifySerialLength) return std::string();
  std::string serial;
  for (std::size_t i = kIdentifySerialOffset; i < kIdentifySerialOffset + kIdentifySerialLength; i += 2) {
    serial += static_cast<char>(data[i + 1]);
    serial += static_cast<char>(data[i]);
  }
  return UsableSerial(serial);
}

std::wstring MacFromAdapters(const std::vector<AdapterEntry>& adapters) {
  auto chosen = std::find_if(adapters.begin(), adapters.end(), [](const AdapterEntry& adapter) {
    return adapter.type == kEthernetAdapter && adapter.description.find("PCI") != std::string::npos;
  });
  if (chosen == adapters.end()) {
    chosen = std::find_if(adapters.begin(), adapters.end(),
                          [](const AdapterEntry& adapter) { return !adapter.address.empty(); });
  }
  std::wstring mac;
  if (chosen == adapters.end()) return mac;
  constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  for (unsigned char byte : chosen->address) {
    mac += kHex[byte >> 4];
    mac += kHex[byte & 0xF];
  }
  return mac;
}

bool CollectInstanceValue(std::wstring& collected, const std::optional<std::wstring>& value, bool first_only) {
  collected = value ? Trim(collected + *value) : std::wstring();
  return !(first_only && !collected.empty());
}

}  // namespace tarvolin
