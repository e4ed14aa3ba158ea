// The progress protocol: messages that a transfer, the scheduler and the copy
// stage send, synchronously, to the window their caller names. wParam is the
// caller's value (normally the file's index in the download list, -1 for the
// update list itself) unless a line says otherwise. Other windows and programs
// know these numbers, so they never change.
#pragma once

#include <windows.h>

namespace tarvolin::transfer_messages {

inline constexpr unsigned kDownloadSize = 0x40E;           // lParam: file size in bytes
inline constexpr unsigned kDownloadProgress = 0x40F;       // lParam: bytes received for the file
inline constexpr unsigned kDownloadThreads = 0x410;        // lParam: block threads now running
// wParam: (block index << 16) | (caller's value & 0xFFFF); lParam: bytes received for that block.
inline constexpr unsigned kDownloadBlockProgress = 0x422;
inline constexpr unsigned kDownloadBlockSize = 0x423;      // lParam: block size (whole size in one stream)

// The scheduler: one file's state. lParam: kFileStarted, kFileDone or kFileFailed.
inline constexpr unsigned kDownloadFileState = 0x421;
inline constexpr LPARAM kFileStarted = 8;
inline constexpr LPARAM kFileDone = 7;
inline constexpr LPARAM kFileFailed = 0;

// The copy stage, before each record: wParam record index, lParam record count.
inline constexpr unsigned kCopyProgress = 0x411;

// The block-progress wParam for one block.
constexpr unsigned long BlockProgressParam(int block_index, unsigned long caller_value) {
  return (static_cast<unsigned long>(block_index) << 16) | (caller_value & 0xFFFFu);
}

}  // namespace tarvolin::transfer_messages
