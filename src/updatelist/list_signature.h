// Signed lists: the book's signing key, the check of a fetched list against
// its detached signature ("<list URL>.sig", raw r || s of an ECDSA P-256
// signature over SHA-256 of the list's exact bytes), and the verified copies
// that let a quick check prove later that its cached list is still the
// publisher's.
//
// Threads: any; the retrieval's helper threads call these.
#pragma once

#include <string>

#include "updatelist/trust_rules.h"

namespace tarvolin {

// The signing key named by [UPDATEINFO] ListPublicKey in the default
// configuration carried inside the program. Never the copy on disk: the
// configuration server rewrites that one, and whoever answers in its place
// must not be able to switch signing off.
inline constexpr wchar_t kListPublicKeySetting[] = L"ListPublicKey";
ListSigningKey BookListSigningKey();

// Fetches the signature of the list that `url` served into `path` and checks
// the file against it. kNotRequired (nothing fetched) without a key.
SignatureVerdict CheckFetchedList(const ListSigningKey& key, const std::wstring& url, const std::wstring& path,
                                  std::string& signature);
// The same for a reply held in memory (the version probe's).
SignatureVerdict CheckFetchedBytes(const ListSigningKey& key, const std::wstring& url, const std::string& bytes);
// The same for a list whose signature is already on disk.
SignatureVerdict CheckListFile(const ListSigningKey& key, const std::wstring& path,
                               const std::wstring& signature_path);

// Where a verified list's exact bytes and its signature are kept, beside the
// list (which a merge rewrites).
std::wstring SignedCopyPath(const std::wstring& list_path);
std::wstring SignedCopySignaturePath(const std::wstring& list_path);
bool KeepSignedCopy(const std::wstring& list_path, const std::string& signature);
// Moves the signed copy of one list name to another (a mirror's file that won,
// the quick check's cache); a missing copy leaves none at the destination.
void MoveSignedCopy(const std::wstring& from_list, const std::wstring& to_list);
void DeleteSignedCopy(const std::wstring& list_path);
// Makes the file `list` and the signature in `signature_file` the verified copy
// kept beside `for_list`; copies, so both sources stay. False (and no copy left
// beside `for_list`) when either cannot be copied.
bool KeepSignedCopyFrom(const std::wstring& list, const std::wstring& signature_file, const std::wstring& for_list);
// The verified copy beside one list name copied beside another.
bool CopySignedCopy(const std::wstring& from_list, const std::wstring& to_list);

}  // namespace tarvolin
