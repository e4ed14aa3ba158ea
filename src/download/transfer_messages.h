// Messages a transfer sends, synchronously, to the window its caller names.
// wParam is the caller's value (normally the file's index in the download
// list, -1 for the update list itself) unless a line says otherwise. Other
// windows and programs know these numbers, so they never change.
#pragma once

namespace tarvolin::transfer_messages {

inline constexpr unsigned kDownloadSize = 0x40E;           // lParam: file size in bytes
inline constexpr unsigned kDownloadProgress = 0x40F;       // lParam: bytes received for the file
inline constexpr unsigned kDownloadThreads = 0x410;        // lParam: block threads now running
// wParam: (block index << 16) | (caller's value & 0xFFFF); lParam: bytes received for that block.
inline constexpr unsigned kDownloadBlockProgress = 0x422;
inline constexpr unsigned kDownloadBlockSize = 0x423;      // lParam: block size (whole size in one stream)

// The block-progress wParam for one block.
constexpr unsigned long BlockProgressParam(int block_index, unsigned long caller_value) {
  return (static_cast<unsigned long>(block_index) << 16) | (caller_value & 0xFFFFu);
}

}  // namespace tarvolin::transfer_messages
