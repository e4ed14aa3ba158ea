// How the machine's identity codes are made from the hardware facts: the
// current id from processor id, disk serial and MAC address, and the previous
// id of the earlier scheme, which the publisher's older pages still know.
// Reading the facts is machine_identity.h's work; nothing here touches Windows.
#pragma once

#include <string>
#include <string_view>

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

}  // namespace tarvolin
