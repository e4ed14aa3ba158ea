// The push messages' traffic and threads, apart from any window: fetching the
// list, the scheduler thread, and the package pop-up's check with its polling
// thread. The windows hand in what they know through hooks.
//
// Threads: each class is made, started, stopped and asked on its owner's
// window thread; the hooks run on the class's own thread.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "config/worker_thread.h"
#include "host/launcher_files.h"
#include "host/push_answer.h"
#include "host/push_popup_rules.h"
#include "host/push_schedule.h"

namespace tarvolin {

// What the push messages tell the publisher about this copy of the book.
struct PushSources {
  std::wstring server;  // the publisher's application server, scheme://host[:port]
  std::wstring machine_id;
  LauncherValues launcher;
  std::wstring configured_xa;
  std::wstring configured_ebook_id;
};
// Which launcher files exist and their values (the package's file winning).
LauncherValues ReadLauncherValues(const LauncherFiles& files);
// The configuration's and the launcher files' values, this build's server.
PushSources ReadPushSources(const LauncherFiles& files, const std::wstring& machine_id);

// The publisher's answer for this book; an unreachable publisher gives an empty answer.
std::wstring FetchPushAnswer(const PushSources& sources);

// Runs the scheduler's passes once a second on its own thread; the list is
// fetched there first, so the window never waits for the publisher.
class PushScheduler {
 public:
  struct Hooks {
    std::function<std::wstring()> fetch_answer;
    // The host is in front and not minimized, the pop-up ready and hidden.
    std::function<bool()> may_act;
    // One showing; delivered before the next pass starts.
    std::function<void(const std::wstring&)> show;
  };
  explicit PushScheduler(Hooks hooks, unsigned pass_ms = 1000);
  // Starts the passes; a second Start while they run does nothing.
  bool Start();
  void Stop() { worker_.Stop(); }
  // The publisher says the user is done with this message (any letter case).
  void MarkDone(std::wstring_view msg_id) { schedule_.MarkDone(msg_id); }

 private:
  void Run(const StopSignal& stop);

  Hooks hooks_;
  unsigned pass_ms_;
  PushSchedule schedule_;
  WorkerThread worker_{WorkerThread::AtOwnerEnd::kStopAndWait, L"The push message scheduler"};
};

// The package pop-up's check: asked once before the pop-up shows, then every
// two seconds while it is visible, until the publisher says the user has the
// package.
class PackageWatch {
 public:
  struct Hooks {
    std::function<bool()> popup_visible;
    // The user has the package of this message; called on the polling thread,
    // once per watched message.
    std::function<void(const std::wstring& msg_id)> owned;
  };
  explicit PackageWatch(Hooks hooks, unsigned poll_ms = 2000);
  ~PackageWatch() { worker_.Stop(); }

  // The first question, on the caller's thread: true when the answer says so already.
  static bool AlreadyOwned(const std::wstring& check_url);
  // Polls this message's check from now on, in place of any earlier one.
  bool Watch(const std::wstring& msg_id, const std::wstring& check_url);
  void Clear();
  void Stop() { worker_.Stop(); }

 private:
  void Run(const StopSignal& stop);

  Hooks hooks_;
  unsigned poll_ms_;
  std::mutex guard_;
  std::wstring pending_;  // MsgId|check URL, empty when nothing is watched
  WorkerThread worker_{WorkerThread::AtOwnerEnd::kStopAndWait, L"The package watch"};
};

}  // namespace tarvolin
