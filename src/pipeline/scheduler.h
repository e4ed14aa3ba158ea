// Downloads every due record of the current list into the download folder,
// several files at a time, each through the block transfer.
//
// Threads: DownloadAll runs on a worker thread (or the silent mode's main
// thread) and starts one thread per file; it returns after all have ended.
#pragma once

#include <windows.h>

#include <string>

#include "updatelist/update_record.h"

namespace tarvolin {

std::wstring BuildFileUrl(const updatefileinfo& record);
// The folder the current list's files are downloaded into.
std::wstring DownloadFolder();
// True when the archive `packed` holds exactly one file and that file has the
// digest `record` promises (see FileHasPromisedDigest).
bool PackedFileHasPromisedDigest(const updatefileinfo& record, const std::wstring& packed);

// One record's file through the packed-or-plain fetch, parked under its name +
// kParkedSuffix for the copy; a file parked for this very record is reused.
// 0 success, 1 failure.
int DownloadOneFile(HWND window, int index, const std::wstring& url, const std::wstring& target, bool single_stream);
void DownloadRecord(int index);
// Always true; the outcome is the status (UpdateDownloadOk or UpdateDownloadError)
// and the failed list, which the next call retries.
bool DownloadAll(HWND window);
// Records of the current list that failed in the last pass.
int FailedDownloadCount();

}  // namespace tarvolin
