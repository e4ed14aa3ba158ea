// How the machine's identity codes are made from the hardware facts: the
// current id from processor id, disk serial and MAC address, and the previous
// id of the earlier scheme, which the publisher's older pages still know.
// Reading the facts is machine_identity.h's work; no Windows headers here (the
// code page conversion comes from common/text_encoding.h).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvolin {

// Upper case, then every byte of the text in the ANSI code page that is not a
// digit or a letter A-Z becomes "S"; at most 9 characters are kept.
std::wstring NormalizeId(std::wstring_view text);

// The hardware facts as read, before any length rule.
struct HardwareFacts {
  std::wstring processor_id;
  std::wstring disk_serial;
  std::wstring mac_address;
};

// The current id from what the WMI pass read: the MAC loses its colons, the
// processor id gets leading zeros up to 9 characters, and a part shorter than
// 3 characters is made up from the processor id (empty) or padded with zeros.
std::wstring CurrentIdFromWmi(HardwareFacts facts);
// The current id from the direct queries (CPUID, drive, adapter list): the same
// rules for disk and MAC, but the processor id and the MAC stay as read.
std::wstring CurrentIdFromDevices(const HardwareFacts& facts);
// The disk serial the WMI pass uses when no drive reports one: characters 1 to
// 3 of the processor id.
std::wstring DiskSerialStandIn(std::wstring_view processor_id);

// The previous id from the values of all instances of each class, concatenated
// as the earlier scheme read them.
std::wstring PreviousId(const HardwareFacts& facts);

// The serial number in a drive's ATA IDENTIFY data (words 10 to 19, each
// word's two bytes swapped), trimmed of spaces; empty when the data is too
// short or neither the first nor the last of its 20 characters is a letter or
// a digit (the drive filled the field with something else).
std::string SerialFromIdentifyData(const unsigned char* data, std::size_t size);
// A drive serial read some other way: trimmed, and empty unless its first or
// last character is a letter or a digit.
std::string UsableSerial(std::string_view serial);

// Adds one instance's value to what a class collected so far, as the earlier
// scheme did: appended and trimmed; an instance without a value empties the
// collection. False when the class needs no further instance (`first_only`
// and something collected).
bool CollectInstanceValue(std::wstring& collected, const std::optional<std::wstring>& value, bool first_only);

// One entry of the system's network adapter list.
struct AdapterEntry {
  std::string description;
  unsigned type = 0;  // 6: Ethernet
  std::vector<unsigned char> address;
};
// The MAC address the identity uses, as upper-case hex without separators: the
// first Ethernet adapter on the PCI bus, else the first adapter with an address.
std::wstring MacFromAdapters(const std::vector<AdapterEntry>& adapters);

}  // namespace tarvolin
