// The container of the current update: the due records, the values the check
// moved out of them, and (through the status layer) the update status.
// One per process; the check fills it, the scheduler and the copy stage read
// it from their threads, so every access takes its lock.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "updatelist/list_serialisation.h"
#include "updatelist/update_record.h"

namespace tarvolin {

class DownLoadList {
 public:
  std::vector<updatefileinfo> Records() const;
  std::optional<updatefileinfo> Record(int index) const;
  int Count() const;
  void SetRecords(std::vector<updatefileinfo> records);
  // Writes one record back (the scheduler keeps its message text in `spare`).
  void UpdateRecord(int index, const updatefileinfo& record);
  // Appends one line of text to a record's message text.
  void AppendRecordMessage(int index, const std::wstring& line);

  std::wstring Description() const;
  void SetDescription(const std::wstring& text);
  std::vector<std::wstring> Tasks() const;
  void SetTasks(std::vector<std::wstring> tasks);

  // Everything the list holds, with the current status, for the hand-over to
  // an elevated copy; and back.
  DownloadListValues Snapshot() const;
  void Restore(const DownloadListValues& values);

 private:
  mutable std::mutex guard_;
  std::vector<updatefileinfo> records_;
  std::wstring description_;
  std::vector<std::wstring> tasks_;
};

DownLoadList& CurrentDownLoadList();

}  // namespace tarvolin
