#include "updatelist/list_signature.h"

#include <windows.h>

#include <span>

#include "common/files.h"
#include "config/default_configuration.h"
#include "config/settings.h"
#include "download/short_requests.h"

namespace tarvolin {
namespace {

constexpr wchar_t kSignedCopySuffix[] = L".signed";

std::span<const std::uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

SignatureVerdict Verdict(const ListSigningKey& key, const std::optional<std::string>& list,
                         const std::optional<std::string>& signature) {
  if (!signature) return SignatureVerdict::kMissing;
  if (!list || !VerifyP256Sha256(key.point, *list, AsBytes(*signature))) return SignatureVerdict::kWrong;
  return SignatureVerdict::kGood;
}

std::optional<std::string> FetchSignature(const std::wstring& list_url) {
  std::string body;
  if (!FetchUrl(SignatureUrlFor(list_url), body)) return std::nullopt;
  return body;
}

void DeleteFileIfThere(const std::wstring& path) {
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(path.c_str());
}

void MoveIfThere(const std::wstring& from, const std::wstring& to) {
  DeleteFileIfThere(to);
  ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
}

}  // namespace

ListSigningKey BookListSigningKey() {
  const DefaultConfiguration configuration = LoadEmbeddedDefaultConfiguration();
  return ParseListSigningKey(ReadDefaultSetting(configuration.text, sections::kUpdateInfo, kListPublicKeySetting));
}

SignatureVerdict CheckFetchedList(const ListSigningKey& key, const std::wstring& url, const std::wstring& path,
                                  std::string& signature) {
  if (!key.required) return SignatureVerdict::kNotRequired;
  const std::optional<std::string> fetched = FetchSignature(url);
  if (fetched) signature = *fetched;
  return Verdict(key, ReadWholeFile(path), fetched);
}

SignatureVerdict CheckFetchedBytes(const ListSigningKey& key, const std::wstring& url, const std::string& bytes) {
  if (!key.required) return SignatureVerdict::kNotRequired;
  return Verdict(key, bytes, FetchSignature(url));
}

SignatureVerdict CheckListFile(const ListSigningKey& key, const std::wstring& path,
                               const std::wstring& signature_path) {
  if (!key.required) return SignatureVerdict::kNotRequired;
  return Verdict(key, ReadWholeFile(path), ReadWholeFile(signature_path));
}

std::wstring SignedCopyPath(const std::wstring& list_path) { return list_path + kSignedCopySuffix; }
std::wstring SignedCopySignaturePath(const std::wstring& list_path) {
  return SignedCopyPath(list_path) + kSignatureSuffix;
}

bool KeepSignedCopy(const std::wstring& list_path, const std::string& signature) {
  return ::CopyFileW(list_path.c_str(), SignedCopyPath(list_path).c_str(), FALSE) &&
         WriteWholeFile(SignedCopySignaturePath(list_path), signature);
}

void MoveSignedCopy(const std::wstring& from_list, const std::wstring& to_list) {
  MoveIfThere(SignedCopyPath(from_list), SignedCopyPath(to_list));
  MoveIfThere(SignedCopySignaturePath(from_list), SignedCopySignaturePath(to_list));
}

void DeleteSignedCopy(const std::wstring& list_path) {
  DeleteFileIfThere(SignedCopyPath(list_path));
  DeleteFileIfThere(SignedCopySignaturePath(list_path));
}

bool KeepSignedCopyFrom(const std::wstring& list, const std::wstring& signature_file, const std::wstring& for_list) {
  DeleteSignedCopy(for_list);
  if (::CopyFileW(list.c_str(), SignedCopyPath(for_list).c_str(), FALSE) &&
      ::CopyFileW(signature_file.c_str(), SignedCopySignaturePath(for_list).c_str(), FALSE))
    return true;
  DeleteSignedCopy(for_list);
  return false;
}

bool CopySignedCopy(const std::wstring& from_list, const std::wstring& to_list) {
  return KeepSignedCopyFrom(SignedCopyPath(from_list), SignedCopySignaturePath(from_list), to_list);
}

}  // namespace tarvolin
