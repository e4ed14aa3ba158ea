#include "archive/patch_file.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "common/files.h"
#include "common/unique_handle.h"

namespace tarvolin {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kLargestRead = 1u << 20;

unique_hfile OpenForReading(const std::wstring& path) {
  return unique_hfile(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// The whole file, read to its length as it was when opened; nothing when it
// cannot be read or changes length meanwhile.
std::optional<std::vector<std::uint8_t>> ReadReference(const unique_hfile& file, std::uint64_t length) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
  std::uint64_t done = 0;
  while (done < length) {
    const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(length - done, kLargestRead));
    DWORD got = 0;
    if (!::ReadFile(file.get(), bytes.data() + done, want, &got, nullptr) || got == 0) return std::nullopt;
    done += got;
  }
  return bytes;
}

PatchOutcome Apply(const std::wstring& installed, const std::wstring& patch, const unique_hfile& out,
                   std::uint64_t memory_cap) {
  unique_hfile reference_file = OpenForReading(installed);
  unique_hfile patch_file = OpenForReading(patch);
  LARGE_INTEGER length{};
  if (!reference_file || !patch_file || !::GetFileSizeEx(reference_file.get(), &length) || length.QuadPart < 0)
    return PatchOutcome::kDecodeError;
  const auto reference_length = static_cast<std::uint64_t>(length.QuadPart);
  // Checked before anything is allocated; on a 32-bit build this also keeps
  // the length within size_t.
  if (!PatchFitsMemoryCap(reference_length, 0, memory_cap)) return PatchOutcome::kTooLarge;
  std::optional<std::vector<std::uint8_t>> reference = ReadReference(reference_file, reference_length);
  if (!reference) return PatchOutcome::kDecodeError;

  auto input = [&patch_file](std::uint8_t* buffer, std::size_t capacity) -> long long {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(capacity, kLargestRead));
    return ::ReadFile(patch_file.get(), buffer, want, &got, nullptr) ? static_cast<long long>(got) : -1;
  };
  auto output = [&out](const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, kLargestRead));
      DWORD written = 0;
      if (!::WriteFile(out.get(), bytes, want, &written, nullptr) || written == 0) return false;
      bytes += written;
      count -= written;
    }
    return true;
  };
  return ApplyPatch(*reference, input, output, memory_cap);
}

}  // namespace

PatchOutcome ApplyPatchFile(const std::wstring& installed, const std::wstring& patch, const std::wstring& output,
                            std::uint64_t memory_cap) {
  PatchOutcome outcome = PatchOutcome::kOutputError;
  {
    unique_hfile out(::CreateFileW(output.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
    if (out) {
      outcome = Apply(installed, patch, out, memory_cap);
    }
  }
  if (outcome != PatchOutcome::kApplied) {
    ::SetFileAttributesW(output.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(output.c_str());
  }
  return outcome;
}

}  // namespace tarvolin
