// Getting the current update list onto the disk: the version probe with its
// mirror addresses, the race between mirrors, the single download together
// with the template list merged into it, and the reuse of the list cached by
// an earlier check.
//
// Threads: the check thread starts one probe thread, one thread per mirror or
// one list thread, and never waits on their handles; it polls the shared
// values below with 1 ms sleeps. Each start opens a new attempt; a helper
// thread whose attempt was given up (time-out) or replaced writes nothing, so
// a late answer can never decide a later check. Such a thread may still be
// inside its transfer when the program ends: everything it touches lives for
// the whole process, and the program ends without destroying it (app/main.cpp).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "updatelist/list_freshness.h"
#include "updatelist/list_url.h"

namespace tarvolin {

// A list-like file (the list, the template list, the configuration) through
// the packed-or-plain fetch, packed first when packing worked last time
// ([Tarvolin] ListFileZip, which it then updates). True when `path` holds it.
bool FetchListFile(const std::wstring& url, const std::wstring& path);

// A list through FetchListFile with one plain GET when that fails; with a
// signing key in the book, only a list whose signature verifies and whose
// stamp is fresh stays at `path` (otherwise it is deleted and false returned).
bool DownloadListFile(const std::wstring& url, const std::wstring& path, ListRole role);

// States of the probe and of the single download.
inline constexpr int kRetrievalRunning = 0;
inline constexpr int kRetrievalSucceeded = 2;
inline constexpr int kRetrievalFailed = 3;

// The values the retrieval shares with the check and the scheduler. They
// live in one place, list_retrieval.cpp.
std::wstring ProbeVersion();
std::vector<std::wstring> MirrorUrls();
// Replaces both probe values at once (the probe thread, and callers that
// already know them).
void SetProbeResults(const ProbeReply& reply);
// Empties ProbeVersion and MirrorUrls; every check entry starts this way.
void ClearProbeResults();
std::wstring MirrorWinner();
void ClearMirrorWinner();
int ListFetchState();
int ProbeState();

// The e-book service that confirms a book's list before the template list is
// merged into it. Starts as the build's book server.
std::wstring BookServiceBase();
void SetBookServiceBase(const std::wstring& base);
std::wstring BookServiceUrl(const std::wstring& ebook_id);

// The template list's address when [UPDATEINFO] MainListURL is empty.
std::wstring DefaultMainListUrl();

// The reply that lets a merge go ahead, compared after removing every space.
inline constexpr wchar_t kBookServiceAcceptedReply[] = L"{\"result\":1}";
bool IsBookServiceReplyAccepted(const std::wstring& reply);

// What a template list's attribute becomes in the merged list: "{Application}"
// is the application's file name with every ".exe" removed, and in "path"
// only "{agentName}" is the distributor name.
std::wstring MergedAttributeValue(const std::wstring& name, const std::wstring& value,
                                  const std::wstring& application, const std::wstring& agent_name);

// Starts the probe on its own thread and polls up to `polls` times; true
// when it succeeded in time. The probe fetches the expanded ListURL into
// memory and reads the version and mirror addresses from it; a failure raises
// the remote check error with `waiting_window`.
bool ProbeAndWait(HWND waiting_window, long long polls);

// Downloads the list from every mirror at once into `list_path` + N; the
// first to finish is moved to `list_path`, the others delete their files.
// Polls up to [Tarvolin] MultCheckTimeOut x 100 times. Returns the winning
// address (it then also sets the list base and empties MirrorUrls), or ""
// when no mirror finished in time.
std::wstring RaceMirrors(const std::wstring& list_path);

// Starts the list thread and polls up to `polls` times; true when it
// succeeded in time. A time-out gives the attempt up. The list thread fetches
// the list and the template list, each through FetchListFile with a plain GET
// as fallback, then merges them; it sets ListFetchState when its attempt is
// still current.
bool FetchListAndWait(const std::wstring& list_path, long long polls);

// Appends the leaf children of the template list's "update" element to the
// list's, after the e-book service confirmed the book. When either file has
// no "update" element and both addresses are given, both are downloaded once
// more and merged without addresses. False (after telling the user) when the
// service refuses or the lists stay damaged.
bool MergeMainList(const std::wstring& list_path, const std::wstring& main_path, const std::wstring& list_url,
                   const std::wstring& main_url);

// Quick check: the list of the last check becomes the list of this one.
// Returns the path to parse. With a signing key in the book it is rebuilt from
// the verified copies of what it was made of, and is gone when they no longer
// verify.
std::wstring ReuseCachedList();

// With a signing key in the book: the list of the last check rebuilt into
// `target` from the verified copies of what it was made of, their signatures
// and stamps checked again. False (and nothing at `target`) when that fails.
bool RebuildVerifiedList(const std::wstring& target);

// After a download: the list (and the verified copies of what it was made of)
// become the cache that the next quick check reuses.
void KeepListForQuickCheck(const std::wstring& list_path);

// A list that arrived with its signature some other way (the appended
// package's): it and its signature become the verified copies of the last
// check, so that the elevated run can rebuild the list as it does a fetched one.
void KeepSignedListForQuickCheck(const std::wstring& list, const std::wstring& signature_file);
// The verified copies of what the list of this update was made of, copied
// beside `list_path` (the installed list), so that uninstall can hold that
// list to the key later; copies left there by an earlier update go first.
void KeepVerifiedCopiesOfThisUpdate(const std::wstring& list_path);
// With a signing key in the book: the list rebuilt into `target` from the
// verified copies kept beside `list_path`, without the freshness checks (an
// installed list may be as old as its release). False without a key, without
// copies, or when they no longer verify.
bool RestoreVerifiedList(const std::wstring& list_path, const std::wstring& target);
// Deletes the verified copies kept beside `list_path`. Verified copies left by
// an earlier retrieval must not pass for this one's.
void ForgetSignedCopies(const std::wstring& list_path);

}  // namespace tarvolin
