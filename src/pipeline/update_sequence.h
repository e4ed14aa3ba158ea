// One update run, always in this order: the check, the download with its
// retry passes, the local check, the copy. The silent mode runs it on its main
// thread; the update windows run it on their workers. Each stage announces
// itself through SetStatus, so every watcher (the status windows, the status
// programs, a window's own observer) learns of the run the same way.
#pragma once

#include <windows.h>

#include <functional>

namespace tarvolin {

enum class SequenceEnd {
  kEnded,                 // the run is over: updated, nothing due, or a stage failed
  kStopped,               // `stop_requested` said so between two stages
  kNeedsAdministrator,    // files need rights this run does not have; nothing was copied
};

struct UpdateSequenceOptions {
  // The host window's worker checks once more when the check handed out
  // mirror addresses, so that the list comes from the mirror that won.
  bool recheck_with_mirrors = false;
};

// `report_window` (may be null) gets the stages' status texts and questions.
// `stop_requested` is asked after each stage that ran; true ends the run there.
// A run that starts after a check (status 3) or with a handed-over list
// (status 6) goes on from there.
SequenceEnd RunUpdateSequence(HWND report_window, const std::function<bool()>& stop_requested,
                              const UpdateSequenceOptions& options = {});

}  // namespace tarvolin
