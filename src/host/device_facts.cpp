#include "host/device_facts.h"

#include <windows.h>
#include <winioctl.h>
#include <iphlpapi.h>
#include <cpuid.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>

#include "common/grow_buffer.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "common/unique_handle.h"

namespace tarvolin {
namespace {

constexpr int kPhysicalDrives = 16;
constexpr DWORD kDescriptorBufferBytes = 10000;
constexpr ULONG kFirstAdapterListBytes = 648;

unique_hfile OpenPhysicalDrive(int drive, DWORD access, DWORD share) {
  const std::wstring path = FormatWide(L"\\\\.\\PhysicalDrive%d", drive);
  return unique_hfile(::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

bool Control(HANDLE device, DWORD code, void* in, DWORD in_bytes, void* out, DWORD out_bytes) {
  DWORD returned = 0;
  return ::DeviceIoControl(device, code, in, in_bytes, out, out_bytes, &returned, nullptr) != FALSE;
}

// ATA IDENTIFY through the SMART interface, after the driver confirmed it has one.
std::string IdentifySerial(HANDLE drive, int number) {
  GETVERSIONINPARAMS version = {};
  if (!Control(drive, SMART_GET_VERSION, nullptr, 0, &version, sizeof(version))) return std::string();
  SENDCMDINPARAMS command = {};
  command.cBufferSize = IDENTIFY_BUFFER_SIZE;
  command.bDriveNumber = static_cast<BYTE>(number);
  command.irDriveRegs.bSectorCountReg = 1;
  command.irDriveRegs.bSectorNumberReg = 1;
  command.irDriveRegs.bDriveHeadReg = static_cast<BYTE>(0xA0 | ((number & 1) << 4));
  command.irDriveRegs.bCommandReg = ID_CMD;
  std::vector<unsigned char> answer(sizeof(SENDCMDOUTPARAMS) + IDENTIFY_BUFFER_SIZE);
  if (!Control(drive, SMART_RCV_DRIVE_DATA, &command, sizeof(command) - 1, answer.data(),
               static_cast<DWORD>(answer.size())))
    return std::string();
  const auto* out = reinterpret_cast<const SENDCMDOUTPARAMS*>(answer.data());
  return SerialFromIdentifyData(out->bBuffer, IDENTIFY_BUFFER_SIZE);
}

std::string DescriptorSerial(HANDLE drive, int) {
  STORAGE_PROPERTY_QUERY query = {};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  std::vector<unsigned char> answer(kDescriptorBufferBytes);
  if (!Control(drive, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), answer.data(), kDescriptorBufferBytes))
    return std::string();
  const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(answer.data());
  const std::size_t offset = descriptor->SerialNumberOffset;
  const std::size_t filled = std::min<std::size_t>(descriptor->Size, answer.size());
  if (offset == 0 || offset >= filled) return std::string();
  const char* text = reinterpret_cast<const char*>(answer.data() + offset);
  return UsableSerial(std::string(text, strnlen(text, filled - offset)));
}

using SerialQuery = std::string (*)(HANDLE drive, int number);

std::string FirstDriveSerial(DWORD access, DWORD share, SerialQuery query) {
  for (int drive = 0; drive < kPhysicalDrives; ++drive) {
    const unique_hfile device = OpenPhysicalDrive(drive, access, share);
    if (!device) continue;
    std::string serial = query(device.get(), drive);
    if (!serial.empty()) return serial;
  }
  return std::string();
}

std::vector<AdapterEntry> AdapterEntries(const IP_ADAPTER_INFO* first) {
  std::vector<AdapterEntry> adapters;
  for (const IP_ADAPTER_INFO* info = first; info; info = info->Next) {
    AdapterEntry entry;
    entry.description = info->Description;
    entry.type = info->Type;
    entry.address.assign(info->Address,
                         info->Address + std::min<UINT>(info->AddressLength, MAX_ADAPTER_ADDRESS_LENGTH));
    adapters.push_back(std::move(entry));
  }
  return adapters;
}

}  // namespace

std::wstring CpuidProcessorId() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) eax = ebx = ecx = edx = 0;
  return FormatWide(L"%08X%08X", edx, eax);
}

std::wstring DriveSerialFromDevices() {
  struct Method {
    DWORD access;
    DWORD share;
    SerialQuery query;
  };
  constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
  constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const Method methods[] = {
      {kReadWrite, kShareReadWrite, IdentifySerial},
      {0, kShareReadWrite, DescriptorSerial},
      {kReadWrite, kShareReadWrite | FILE_SHARE_DELETE, IdentifySerial},
  };
  for (const Method& method : methods) {
    std::string serial = FirstDriveSerial(method.access, method.share, method.query);
    if (!serial.empty()) return AnsiToWide(serial);
  }
  return std::wstring();
}

std::vector<AdapterEntry> ReadAdapterList() {
  // The entries link to each other inside the buffer, so they are copied out
  // while it is still the one the system filled. One byte more than offered
  // keeps a list that fits shorter than the buffer, as the growing loop wants.
  std::vector<AdapterEntry> adapters;
  FillGrowingBuffer<unsigned char>(
      [&adapters](unsigned char* data, std::size_t capacity) -> std::optional<std::size_t> {
        ULONG offered = static_cast<ULONG>(capacity - 1);
        const DWORD result = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(data), &offered);
        if (result == ERROR_BUFFER_OVERFLOW) return std::max<std::size_t>(offered, capacity);
        if (result != ERROR_SUCCESS) return std::nullopt;
        adapters = AdapterEntries(reinterpret_cast<const IP_ADAPTER_INFO*>(data));
        return capacity - 1;
      },
      kFirstAdapterListBytes + 1);
  return adapters;
}

}  // namespace tarvolin
