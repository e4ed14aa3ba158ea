#include "status/status_windows.h"

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "common/unique_handle.h"
#include "common/window_texts.h"
#include "config/settings.h"
#include "status/status_protocol.h"
#include "status/status_rules.h"

namespace tarvolin {
namespace {

namespace sp = status_protocol;

// Memory committed in another process; released through the process handle
// that the owner keeps open for at least as long.
class RemoteMemory {
 public:
  RemoteMemory() = default;
  RemoteMemory(HANDLE process, std::size_t bytes)
      : process_(process),
        address_(::VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
  RemoteMemory(const RemoteMemory&) = delete;
  RemoteMemory& operator=(const RemoteMemory&) = delete;
  ~RemoteMemory() {
    if (address_) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }

  void* address() const { return address_; }
  bool Write(const void* bytes, std::size_t size) const {
    SIZE_T written = 0;
    return address_ && ::WriteProcessMemory(process_, address_, bytes, size, &written) && written == size;
  }

 private:
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
};

// One status window. Windows of this process receive the address of the
// sender's own text; windows of other processes receive a copy in their buffer.
struct StatusWindow {
  HWND window = nullptr;
  bool in_this_process = false;
  unique_handle process;                 // declared before `buffer`: it must outlive it
  std::unique_ptr<RemoteMemory> buffer;  // absent when the process could not be opened
  // The buffer is shared by every sending thread: a text must be written and
  // handled before the next one goes in. Recursive because a receiver may call
  // back into a window of the sending thread while it handles the text.
  std::recursive_mutex buffer_guard;
};

bool PropertyIsOn(HWND window, const wchar_t* name) {
  return reinterpret_cast<INT_PTR>(::GetPropW(window, name)) == sp::kPropertyOn;
}

bool WantsMessages(HWND window) { return PropertyIsOn(window, sp::kNeedMessagesProperty); }

void SetNumberProperty(HWND window, const wchar_t* name, INT_PTR value) {
  ::SetPropW(window, name, reinterpret_cast<HANDLE>(value));
}

// The status windows of this process: the only process-wide state of the
// status broadcast. Senders work on a snapshot without holding the list lock
// while they send; the snapshot shares each entry, so an entry released at
// exit (ReleaseAll) lives on, buffer and process handle included, until the
// last thread that was still sending to it is done.
class StatusWindowRegistry {
 public:
  using Entry = std::shared_ptr<StatusWindow>;

  void Add(Entry entry) {
    std::lock_guard<std::mutex> hold(guard_);
    entries_.push_back(std::move(entry));
  }
  bool Contains(HWND window) const { return Find(window) != nullptr; }
  Entry Find(HWND window) const {
    std::lock_guard<std::mutex> hold(guard_);
    for (const auto& entry : entries_)
      if (entry->window == window) return entry;
    return nullptr;
  }
  std::vector<Entry> Snapshot() const {
    std::lock_guard<std::mutex> hold(guard_);
    return entries_;
  }
  bool Empty() const {
    std::lock_guard<std::mutex> hold(guard_);
    return entries_.empty();
  }
  void ReleaseAll() {
    std::vector<Entry> gone;
    {
      std::lock_guard<std::mutex> hold(guard_);
      gone.swap(entries_);
    }
  }

 private:
  mutable std::mutex guard_;
  std::vector<Entry> entries_;
};

StatusWindowRegistry& StatusWindows() {
  // Never destroyed: a thread given up at exit may still broadcast a line.
  static StatusWindowRegistry* registry = new StatusWindowRegistry;
  return *registry;
}

// Writing and allocating are all the buffer needs; nothing else is asked of
// the other process.
constexpr DWORD kBufferProcessAccess = PROCESS_VM_OPERATION | PROCESS_VM_WRITE;

std::shared_ptr<StatusWindow> MakeStatusWindow(HWND window) {
  auto entry = std::make_shared<StatusWindow>();
  entry->window = window;
  DWORD process_id = 0;
  ::GetWindowThreadProcessId(window, &process_id);
  entry->in_this_process = process_id == ::GetCurrentProcessId();
  if (entry->in_this_process || process_id == 0) return entry;
  entry->process.reset(::OpenProcess(kBufferProcessAccess, FALSE, process_id));
  if (!entry->process) return entry;
  auto buffer = std::make_unique<RemoteMemory>(entry->process.get(), sp::kTextBufferBytes);
  if (buffer->address()) entry->buffer = std::move(buffer);
  return entry;
}

// Sends a text to one status window the way its process can read it. Windows
// of other processes without a buffer get no address at all: an address of
// this process would point at arbitrary memory over there.
// A window of this process gets its status text through the parked texts
// (common/window_texts.h), never as an address.
LRESULT SendText(StatusWindow& target, UINT message, const std::wstring& text, LPARAM lparam) {
  if (target.in_this_process && message == sp::kStatusTextMessage) {
    ParkedWindowText parked(message, text);
    return ::SendMessageW(target.window, message, parked.key(), lparam);
  }
  if (target.in_this_process) {
    return ::SendMessageW(target.window, message, reinterpret_cast<WPARAM>(text.c_str()), lparam);
  }
  if (!target.buffer) return ::SendMessageW(target.window, message, 0, lparam);
  std::lock_guard<std::recursive_mutex> hold(target.buffer_guard);
  std::vector<wchar_t> block = TextBufferBlock(text);
  if (!target.buffer->Write(block.data(), block.size() * sizeof(wchar_t))) return 0;
  return ::SendMessageW(target.window, message, reinterpret_cast<WPARAM>(target.buffer->address()), lparam);
}

void SendLogLine(const std::wstring& line) {
  if (StatusWindows().Empty()) return;
  const std::wstring cleaned = CleanLogLine(line, ConfigurationFolder());
  for (const auto& target : StatusWindows().Snapshot()) {
    if (!target->in_this_process && !target->buffer) continue;
    SendText(*target, sp::kStatusLogMessage, cleaned, 0);
  }
}

// The description can be of any length, so each window gets a block of its
// own for the time of the message, with room for the terminating zero.
void SendDescription(const std::wstring& text) {
  if (text.empty()) return;
  for (const auto& target : StatusWindows().Snapshot()) {
    if (!WantsMessages(target->window)) continue;
    if (target->in_this_process) {
      ::SendMessageW(target->window, sp::kStatusDescriptionMessage, 0, reinterpret_cast<LPARAM>(text.c_str()));
      continue;
    }
    if (!target->process) continue;
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    RemoteMemory block(target->process.get(), bytes);
    if (!block.Write(text.c_str(), bytes)) continue;
    ::SendMessageW(target->window, sp::kStatusDescriptionMessage, 0, reinterpret_cast<LPARAM>(block.address()));
  }
}

}  // namespace

void RegisterStatusWindow(HWND window) {
  if (!window) return;
  SetNumberProperty(window, sp::kNeedMessagesProperty, sp::kPropertyOn);
  if (StatusWindows().Contains(window)) return;
  StatusWindows().Add(MakeStatusWindow(window));
}

bool IsStatusWindow(HWND window) { return StatusWindows().Contains(window); }

void AnnounceStatusToWindows(int status, int records_to_update) {
  for (const auto& target : StatusWindows().Snapshot()) {
    if (WantsMessages(target->window))
      ::SendMessageW(target->window, sp::kStatusChangedMessage, static_cast<WPARAM>(status), records_to_update);
    SetNumberProperty(target->window, sp::kStatusProperty, status);
    SetNumberProperty(target->window, sp::kFileCountProperty, records_to_update);
  }
}

void SendStatusText(HWND window, const std::wstring& text, long progress) {
  if (!window) return;
  const std::wstring cleaned = CleanStatusText(text);
  if (auto target = StatusWindows().Find(window)) {
    SendText(*target, sp::kStatusTextMessage, cleaned, progress);
    return;
  }
  // Not a status window: it can read the text only when it lives in this process.
  DWORD process_id = 0;
  ::GetWindowThreadProcessId(window, &process_id);
  if (process_id != ::GetCurrentProcessId()) {
    ::SendMessageW(window, sp::kStatusTextMessage, 0, progress);
    return;
  }
  ParkedWindowText parked(sp::kStatusTextMessage, cleaned);
  ::SendMessageW(window, sp::kStatusTextMessage, parked.key(), progress);
}

void SendToStatusWindows(unsigned message, const std::wstring& text) {
  if (message == sp::kStatusLogMessage) {
    SendLogLine(text);
  } else if (message == sp::kStatusDescriptionMessage) {
    SendDescription(text);
  }
}

void SendLogLineToStatusWindows(const std::wstring& line) { SendToStatusWindows(sp::kStatusLogMessage, line); }

void SendFileProgressToStatusWindows(long files_done, long file_count) {
  for (const auto& target : StatusWindows().Snapshot()) {
    if (WantsMessages(target->window))
      ::SendMessageW(target->window, sp::kStatusFileProgressMessage, static_cast<WPARAM>(files_done), file_count);
  }
}

void SendTransferProgressToStatusWindows(long file_size, long bytes_received) {
  for (const auto& target : StatusWindows().Snapshot())
    ::SendMessageW(target->window, sp::kStatusProgressMessage, static_cast<WPARAM>(file_size), bytes_received);
}

void ReleaseStatusWindows() { StatusWindows().ReleaseAll(); }

}  // namespace tarvolin
