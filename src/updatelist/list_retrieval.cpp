#include "updatelist/list_retrieval.h"

#include "updatelist/remote_version.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>

#include "common/files.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "common/thread_pool.h"
#include "config/log.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "download/packed_fetch.h"
#include "download/plain_get.h"
#include "download/short_requests.h"
#include "endpoints.h"
#include "status/update_status.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/list_freshness.h"
#include "updatelist/list_settings.h"
#include "updatelist/list_rules.h"
#include "updatelist/list_signature.h"
#include "updatelist/xml_dom.h"

namespace tarvolin {
namespace {

constexpr wchar_t kDownloadLogPrefix[] = L"download:";
constexpr wchar_t kMainListSuffix[] = L".main.xml";
constexpr wchar_t kReusedListSuffix[] = L".xml";
constexpr wchar_t kDefaultMainListPath[] = L"/DownloadV2/!Template/tarvolin.xml";
constexpr wchar_t kListElement[] = L"update";
constexpr wchar_t kApplicationPlaceholder[] = L"{Application}";
constexpr wchar_t kAgentNamePlaceholder[] = L"{agentName}";
constexpr wchar_t kExecutableExtension[] = L".exe";
constexpr wchar_t kPathAttribute[] = L"path";
constexpr wchar_t kDefaultAgentName[] = L"zu";
constexpr wchar_t kDefaultMultCheckTimeOut[] = L"60";

// The service answers slowly right after a release goes out; each attempt
// waits a little longer than the one before.
constexpr DWORD kServiceAttemptPausesMs[] = {1, 101, 201};
// The freshly written files settle before they are read again.
constexpr DWORD kRemergeDelayMs = 600;

constexpr wchar_t kCachedListRefusedLog[] = L"cached list not reused: its signature no longer verifies";

constexpr wchar_t kServiceFailedLog[] = L"请求 %ls 失败 >> %ls";
constexpr wchar_t kServiceSucceededLog[] = L"请求 %ls 成功";
constexpr wchar_t kDamagedListText[] =
    L"The resource list file of this e-book (BookId %s) is damaged.\n"
    L"Please contact customer service:\n"
    L"the service page on the publisher's website, or the service line printed with your e-book.";

// Every value the retrieval threads share with the check, in one place.
// Strings sit under `guard`; the states and counters are atomics so the
// polling loops may read them between the `attempts` sections too. Both locks
// are this process's own: the values are, and another updater has no business
// waiting for them.
struct RetrievalValues {
  std::mutex guard;
  // Taken before `guard` when both are needed: an attempt's decision and the
  // values it writes go together.
  std::mutex attempts;
  std::vector<std::wstring> mirror_urls;
  std::wstring mirror_winner;
  std::wstring book_service_base = endpoints::kBookServer;

  std::atomic<int> mirror_pending{0};
  std::atomic<int> list_fetch_state{kRetrievalRunning};
  std::atomic<int> probe_state{kRetrievalRunning};

  // Attempt numbers: a helper thread acts only while its number is current.
  std::atomic<unsigned> probe_attempt{0};
  std::atomic<unsigned> list_fetch_attempt{0};
  std::atomic<unsigned> mirror_race{0};
};

RetrievalValues& Values() {
  // Never destroyed: a helper thread given up after a time-out may still be
  // running when the process ends, and must find its values there.
  static RetrievalValues* values = new RetrievalValues;
  return *values;
}

std::unique_lock<std::mutex> HoldAttempts() { return std::unique_lock<std::mutex>(Values().attempts); }

std::wstring Tr(const wchar_t* text) { return Translate(L"MAIN", text); }

// Polls `done` up to `polls` times under the attempts lock, 1 ms apart.
template <typename Done>
bool PollUnderLock(long long polls, Done done) {
  for (long long i = 0; i < polls; ++i) {
    {
      auto hold = HoldAttempts();
      if (done()) return true;
    }
    ::Sleep(1);
  }
  return false;
}

// Helper threads end here whatever happens inside them.
template <typename Body>
void StartDetached(Body body) {
  std::thread([body = std::move(body)]() mutable {
    try {
      body();
    } catch (...) {
      WriteLog(L"list retrieval thread ended by an unexpected error");
    }
  }).detach();
}

long long PollsFor(const wchar_t* key, const wchar_t* fallback) {
  return PollsForTimeOut(ReadSettingOr(sections::kTarvolin, key, fallback));
}

// True for the verdicts that let a list pass; a refusal is logged with its reason.
bool SignaturePasses(SignatureVerdict verdict, const std::wstring& url) {
  if (verdict == SignatureVerdict::kNotRequired || verdict == SignatureVerdict::kGood) return true;
  WriteLog(SignatureRefusalText(verdict) + L": " + url);
  return false;
}

// With a signing key in the book, a list whose signature is missing or wrong,
// or whose stamp says it is stale or another book's, is as good as never
// fetched: it is deleted before anything reads it. A good one keeps its exact
// bytes and signature for the next quick check.
bool AcceptOnlySignedList(const std::wstring& url, const std::wstring& path, ListRole role) {
  std::string signature;
  const SignatureVerdict verdict = CheckFetchedList(BookListSigningKey(), url, path, signature);
  if (!SignaturePasses(verdict, url) || (verdict == SignatureVerdict::kGood && !AcceptFreshList(role, url, path))) {
    ::DeleteFileW(path.c_str());
    return false;
  }
  if (verdict == SignatureVerdict::kGood) KeepSignedCopy(path, signature);
  return true;
}

// The probe's reply names versions and mirrors: it is held to the same key.
bool IsSignedReply(const std::wstring& url, const std::string& body) {
  return SignaturePasses(CheckFetchedBytes(BookListSigningKey(), url, body), url);
}

}  // namespace

void ForgetSignedCopies(const std::wstring& list_path) {
  DeleteSignedCopy(list_path);
  DeleteSignedCopy(list_path + kMainListSuffix);
}

bool DownloadListFile(const std::wstring& url, const std::wstring& path, ListRole role) {
  const bool fetched = FetchListFile(url, path) ||
                       PlainGetToFile(url, path, ReadSetting(sections::kApplication, L"AgentName")) ==
                           PlainGetResult::Ok;
  return fetched && AcceptOnlySignedList(url, path, role);
}

namespace {

// --- version probe ---

unsigned BeginProbeAttempt() {
  auto hold = HoldAttempts();
  Values().probe_state = kRetrievalRunning;
  return ++Values().probe_attempt;
}

void ProbeAttempt(HWND waiting_window, unsigned attempt) {
  const std::wstring url = ExpandListUrl(ReadSetting(sections::kUpdateInfo, L"ListURL"));
  WriteLog(kDownloadLogPrefix + url);
  std::string body;
  const bool fetched = FetchUrl(url, body) && IsSignedReply(url, body);
  const ProbeReply reply = fetched ? ParseProbeReply(ProbeReplyLines(body, AnsiToWide)) : ProbeReply{};

  bool current = false;
  {
    auto hold = HoldAttempts();
    current = Values().probe_attempt == attempt;
    if (current && fetched) SetProbeResults(reply);
    if (current) Values().probe_state = fetched ? kRetrievalSucceeded : kRetrievalFailed;
  }
  if (current && !fetched) SetStatus(UpdateCheckRemoteError, waiting_window);
}

// --- mirror race ---

void RaceOneMirror(const std::wstring& url, const std::wstring& path, const std::wstring& list_path, unsigned race) {
  const bool downloaded = FetchListFile(url, path) && AcceptOnlySignedList(url, path, ListRole::kList);
  auto hold = HoldAttempts();
  const bool current = Values().mirror_race == race;
  if (downloaded) {
    std::lock_guard<std::mutex> guard(Values().guard);
    if (current && Values().mirror_winner.empty()) {
      Values().mirror_winner = url;
      ::MoveFileExW(path.c_str(), list_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
      MoveSignedCopy(path, list_path);
    } else {
      ::DeleteFileW(path.c_str());
      DeleteSignedCopy(path);
    }
  }
  // A race that is over has its own count no more.
  if (current) --Values().mirror_pending;
}

// --- single download ---

unsigned BeginListFetchAttempt() {
  auto hold = HoldAttempts();
  Values().list_fetch_state = kRetrievalRunning;
  return ++Values().list_fetch_attempt;
}

bool ListFetchIsCurrent(unsigned attempt) { return Values().list_fetch_attempt == attempt; }

void FetchAttempt(const std::wstring& list_path, unsigned attempt) {
  ComThreadScope com;
  ForgetSignedCopies(list_path);
  const std::wstring url = ExpandListUrl(ReadSetting(sections::kUpdateInfo, L"ListURL"));
  WriteLog(kDownloadLogPrefix + url);
  const std::wstring main_url = ReadSettingOr(sections::kUpdateInfo, L"MainListURL", DefaultMainListUrl());
  const std::wstring main_path = list_path + kMainListSuffix;
  // The template list goes out beside the book's list, so the check waits for
  // one round trip instead of two; it is used only when the book's list came.
  bool main_ok = false;
  bool ok = false;
  {
    TaskGroup beside(TransferThreads());
    bool main_started = true;
    try {
      beside.Run([&] {
        ComThreadScope main_com;
        main_ok = DownloadListFile(main_url, main_path, ListRole::kTemplate);
      });
    } catch (...) {
      main_started = false;  // fetched after the book's list instead
    }
    ok = DownloadListFile(url, list_path, ListRole::kList);
    beside.Wait();
    if (!main_started && ok && ListFetchIsCurrent(attempt)) {
      main_ok = DownloadListFile(main_url, main_path, ListRole::kTemplate);
    }
  }
  // A given-up attempt stops at the next step instead of going on.
  if (ok && ListFetchIsCurrent(attempt)) {
    WriteLog(kDownloadLogPrefix + main_url);
    ok = main_ok && MergeMainList(list_path, main_path, url, main_url);
  }
  auto hold = HoldAttempts();
  if (ListFetchIsCurrent(attempt)) Values().list_fetch_state = ok ? kRetrievalSucceeded : kRetrievalFailed;
}

// --- merge ---

void ShowDamagedListBox(const std::wstring& application, const std::wstring& ebook_id) {
  const std::wstring text = FormatPlaceholders(Tr(kDamagedListText), {ebook_id});
  ::MessageBoxW(nullptr, text.c_str(), application.c_str(), MB_OK | MB_ICONSTOP);
}

bool AskBookService(const std::wstring& url) {
  std::wstring reply;
  for (DWORD pause : kServiceAttemptPausesMs) {
    ::Sleep(pause);
    if (PostUrl(url, reply) == kPostOk) break;
  }
  if (!IsBookServiceReplyAccepted(reply)) {
    WriteLog(FormatWide(kServiceFailedLog, url.c_str(), RemoveAll(reply, L" ").c_str()));
    return false;
  }
  WriteLog(FormatWide(kServiceSucceededLog, url.c_str()));
  return true;
}

bool LoadListElement(const std::wstring& path, XmlDocument& document, XmlNode& element) {
  return document.Create() && document.Load(path) && document.AsNode().ChildElement(kListElement, element);
}

bool AppendLeafChildren(const XmlNode& from, const XmlNode& to, const std::wstring& application,
                        const std::wstring& agent_name) {
  std::vector<XmlNode> children;
  if (!from.Children(children)) return false;
  for (const XmlNode& child : children) {
    bool has_children = true;
    if (!child.HasChildren(has_children) || has_children) continue;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;
    if (!child.Attributes(attributes)) return false;
    for (const auto& [name, value] : attributes) {
      std::wstring merged = MergedAttributeValue(name, value, application, agent_name);
      if (merged != value && !child.SetAttribute(name, merged)) return false;
    }
    if (!to.AppendChild(child)) return false;
  }
  return true;
}

// Where the list of the last check and its verified copies wait for the next quick check.
std::wstring QuickCheckListPath() { return CachedListStem() + L".xml" + kReusedListSuffix; }

// The template list's leaf elements appended to the list's, saved to `list_path`.
// A half-merged list would pass for a whole one, so any DOM failure keeps the
// file as it came.
bool AppendTemplate(XmlDocument& list_document, const XmlNode& list_element, const XmlNode& main_element,
                    const std::wstring& list_path) {
  const std::wstring application = ReadSetting(sections::kApplication, L"Application");
  const std::wstring agent_name = ReadSettingOr(sections::kApplication, L"AgentName", kDefaultAgentName);
  return AppendLeafChildren(main_element, list_element, application, agent_name) && list_document.Save(list_path);
}

// The list made of the verified copies kept beside `copies_of` (and beside its
// template list), rebuilt into `target`; false when either no longer
// verifies. With `fresh`, their stamps are held to the serials accepted.
bool RestoreSignedCachedList(const ListSigningKey& key, const std::wstring& copies_of, const std::wstring& target,
                             bool fresh = false) {
  const std::wstring main = copies_of + kMainListSuffix;
  const bool has_main = FileExists(SignedCopyPath(main));
  if (CheckListFile(key, SignedCopyPath(copies_of), SignedCopySignaturePath(copies_of)) != SignatureVerdict::kGood ||
      (has_main && CheckListFile(key, SignedCopyPath(main), SignedCopySignaturePath(main)) != SignatureVerdict::kGood))
    return false;
  if (!::CopyFileW(SignedCopyPath(copies_of).c_str(), target.c_str(), FALSE)) return false;
  // Checked on the copy just made, which is what is read from here on.
  if (fresh && !AcceptFreshList(ListRole::kList, SignedCopyPath(copies_of), target)) return false;
  if (!has_main) return true;
  ComThreadScope com;
  XmlDocument list_document, main_document;
  XmlNode list_element, main_element;
  const std::wstring main_copy = target + kMainListSuffix;
  if (!::CopyFileW(SignedCopyPath(main).c_str(), main_copy.c_str(), FALSE)) return false;
  const bool merged = (!fresh || AcceptFreshList(ListRole::kTemplate, SignedCopyPath(main), main_copy)) &&
                      LoadListElement(target, list_document, list_element) &&
                      LoadListElement(main_copy, main_document, main_element) &&
                      AppendTemplate(list_document, list_element, main_element, target);
  ::DeleteFileW(main_copy.c_str());
  return merged;
}

}  // namespace

bool FetchListFile(const std::wstring& url, const std::wstring& path) {
  PackedFetchRequest request{.url = url,
                             .target = path,
                             .packed_first = ReadSettingBool(sections::kTarvolin, L"ListFileZip", L"0"),
                             .unzip = ReadSettingBool(sections::kTarvolin, L"UnZip", L"1"),
                             .threads = ThreadsPerFile(),
                             .caller_value = static_cast<WPARAM>(-1)};
  const FetchedForm form = FetchPackedOrPlain(request);
  if (form == FetchedForm::kNone) return false;
  WriteSetting(sections::kTarvolin, L"ListFileZip", form == FetchedForm::kPlain ? L"0" : L"1");
  return true;
}

// --- shared values ---

// The probe's version is the run's remote version label: the exit code and the
// copy stage read it from there.
std::wstring ProbeVersion() { return RemoteVersionLabel(); }

std::vector<std::wstring> MirrorUrls() {
  std::lock_guard<std::mutex> guard(Values().guard);
  return Values().mirror_urls;
}

void SetProbeResults(const ProbeReply& reply) {
  SetRemoteVersionLabel(reply.version);
  std::lock_guard<std::mutex> guard(Values().guard);
  Values().mirror_urls = reply.mirrors;
}

void ClearProbeResults() { SetProbeResults(ProbeReply{}); }

std::wstring MirrorWinner() {
  std::lock_guard<std::mutex> guard(Values().guard);
  return Values().mirror_winner;
}

void ClearMirrorWinner() {
  auto hold = HoldAttempts();
  std::lock_guard<std::mutex> guard(Values().guard);
  Values().mirror_winner.clear();
}

int ListFetchState() { return Values().list_fetch_state; }
int ProbeState() { return Values().probe_state; }

std::wstring BookServiceBase() {
  std::lock_guard<std::mutex> guard(Values().guard);
  return Values().book_service_base;
}

void SetBookServiceBase(const std::wstring& base) {
  std::lock_guard<std::mutex> guard(Values().guard);
  Values().book_service_base = base;
}

std::wstring BookServiceUrl(const std::wstring& ebook_id) {
  return BookServiceBase() + FormatWide(endpoints::kBookServicePathFormat, ebook_id.c_str());
}

std::wstring DefaultMainListUrl() { return std::wstring(endpoints::kListServer) + kDefaultMainListPath; }

// --- decisions ---

bool IsBookServiceReplyAccepted(const std::wstring& reply) {
  return RemoveAll(reply, L" ") == kBookServiceAcceptedReply;
}

std::wstring MergedAttributeValue(const std::wstring& name, const std::wstring& value,
                                  const std::wstring& application, const std::wstring& agent_name) {
  std::wstring merged = ReplaceAll(value, kApplicationPlaceholder, RemoveAll(application, kExecutableExtension));
  if (name == kPathAttribute) merged = ReplaceAll(std::move(merged), kAgentNamePlaceholder, agent_name);
  return merged;
}

// --- flows ---

bool ProbeAndWait(HWND waiting_window, long long polls) {
  const unsigned attempt = BeginProbeAttempt();
  StartDetached([waiting_window, attempt] { ProbeAttempt(waiting_window, attempt); });
  const bool ended = PollUnderLock(polls, [] { return Values().probe_state != kRetrievalRunning; });
  auto hold = HoldAttempts();
  if (!ended) ++Values().probe_attempt;  // too late: whatever it brings is ignored
  return ended && Values().probe_state == kRetrievalSucceeded;
}

std::wstring RaceMirrors(const std::wstring& list_path) {
  const std::vector<std::wstring> mirrors = MirrorUrls();
  ::DeleteFileW(list_path.c_str());
  ForgetSignedCopies(list_path);
  unsigned race = 0;
  {
    auto hold = HoldAttempts();
    {
      std::lock_guard<std::mutex> guard(Values().guard);
      Values().mirror_winner.clear();
    }
    Values().mirror_pending = static_cast<int>(mirrors.size());
    race = ++Values().mirror_race;
  }
  for (std::size_t n = 0; n < mirrors.size(); ++n) {
    std::wstring path = list_path + std::to_wstring(n);
    ::DeleteFileW(path.c_str());
    std::wstring url = Trim(ExpandListUrl(mirrors[n]));
    WriteLog(kDownloadLogPrefix + url);
    StartDetached([url, path, list_path, race] { RaceOneMirror(url, path, list_path, race); });
  }

  PollUnderLock(PollsFor(L"MultCheckTimeOut", kDefaultMultCheckTimeOut),
                [] { return !MirrorWinner().empty() || Values().mirror_pending <= 0; });
  std::wstring winner;
  {
    // Mirrors that finish from now on only delete their files.
    auto hold = HoldAttempts();
    ++Values().mirror_race;
    winner = MirrorWinner();
  }
  if (winner.empty()) return winner;
  SetListUrlBase(winner);
  std::lock_guard<std::mutex> guard(Values().guard);
  Values().mirror_urls.clear();
  return winner;
}

bool FetchListAndWait(const std::wstring& list_path, long long polls) {
  const unsigned attempt = BeginListFetchAttempt();
  StartDetached([list_path, attempt] { FetchAttempt(list_path, attempt); });
  const bool ended =
      PollUnderLock(polls, [] { return Values().list_fetch_state != kRetrievalRunning; });
  auto hold = HoldAttempts();
  if (!ended) ++Values().list_fetch_attempt;
  return ended && Values().list_fetch_state == kRetrievalSucceeded;
}

bool MergeMainList(const std::wstring& list_path, const std::wstring& main_path, const std::wstring& list_url,
                   const std::wstring& main_url) {
  ComThreadScope com;
  const std::wstring application = ReadSetting(sections::kApplication, L"Application");
  const std::wstring ebook_id = ReadSetting(sections::kApplication, L"EBookID");
  if (!AskBookService(BookServiceUrl(ebook_id))) {
    ShowDamagedListBox(application, ebook_id);
    return false;
  }

  XmlDocument list_document, main_document;
  XmlNode list_element, main_element;
  const bool list_loaded = LoadListElement(list_path, list_document, list_element);
  const bool main_loaded = LoadListElement(main_path, main_document, main_element);
  if (!list_loaded || !main_loaded) {
    if (list_url.empty() || main_url.empty()) {
      ShowDamagedListBox(application, ebook_id);
      return false;
    }
    WriteLog(L"list or template list damaged, downloading both again");
    ::DeleteFileW(list_path.c_str());
    ::DeleteFileW(main_path.c_str());
    if (!DownloadListFile(list_url, list_path, ListRole::kList) ||
        !DownloadListFile(main_url, main_path, ListRole::kTemplate))
      return false;
    ::Sleep(kRemergeDelayMs);
    return MergeMainList(list_path, main_path, L"", L"");
  }

  return AppendTemplate(list_document, list_element, main_element, list_path);
}

std::wstring ReuseCachedList() {
  const std::wstring cached = CachedListStem() + L".xml";
  const std::wstring reused = QuickCheckListPath();
  ::MoveFileW(cached.c_str(), reused.c_str());  // fails harmlessly when the target is there
  SetListFileOverride(reused);
  const ListSigningKey key = BookListSigningKey();
  if (key.required && !RestoreSignedCachedList(key, reused, reused)) {
    WriteLog(kCachedListRefusedLog);
    ::DeleteFileW(reused.c_str());
  }
  return reused;
}

void KeepListForQuickCheck(const std::wstring& list_path) {
  const std::wstring reused = list_path + kReusedListSuffix;
  ::CopyFileW(list_path.c_str(), reused.c_str(), FALSE);
  MoveSignedCopy(list_path, reused);
  MoveSignedCopy(list_path + kMainListSuffix, reused + kMainListSuffix);
}

bool RebuildVerifiedList(const std::wstring& target) {
  const ListSigningKey key = BookListSigningKey();
  if (RestoreSignedCachedList(key, QuickCheckListPath(), target, true)) return true;
  WriteLog(L"the list of this update cannot be verified again");
  ::DeleteFileW(target.c_str());
  return false;
}

void KeepSignedListForQuickCheck(const std::wstring& list, const std::wstring& signature_file) {
  const std::wstring reused = QuickCheckListPath();
  DeleteSignedCopy(reused + kMainListSuffix);
  KeepSignedCopyFrom(list, signature_file, reused);
}

void KeepVerifiedCopiesOfThisUpdate(const std::wstring& list_path) {
  const std::wstring reused = QuickCheckListPath();
  ForgetSignedCopies(list_path);
  CopySignedCopy(reused, list_path);
  CopySignedCopy(reused + kMainListSuffix, list_path + kMainListSuffix);
}

bool RestoreVerifiedList(const std::wstring& list_path, const std::wstring& target) {
  const ListSigningKey key = BookListSigningKey();
  return key.required && RestoreSignedCachedList(key, list_path, target);
}

}  // namespace tarvolin
