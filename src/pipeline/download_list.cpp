#include "pipeline/download_list.h"

#include "status/update_status.h"

namespace tarvolin {

std::vector<updatefileinfo> DownLoadList::Records() const {
  std::lock_guard<std::mutex> hold(guard_);
  return records_;
}

std::optional<updatefileinfo> DownLoadList::Record(int index) const {
  std::lock_guard<std::mutex> hold(guard_);
  if (index < 0 || index >= static_cast<int>(records_.size())) return std::nullopt;
  return records_[static_cast<std::size_t>(index)];
}

int DownLoadList::Count() const {
  std::lock_guard<std::mutex> hold(guard_);
  return static_cast<int>(records_.size());
}

void DownLoadList::SetRecords(std::vector<updatefileinfo> records) {
  int count = static_cast<int>(records.size());
  {
    std::lock_guard<std::mutex> hold(guard_);
    records_ = std::move(records);
  }
  SetRecordsToUpdate(count);
}

void DownLoadList::UpdateRecord(int index, const updatefileinfo& record) {
  std::lock_guard<std::mutex> hold(guard_);
  if (index >= 0 && index < static_cast<int>(records_.size())) records_[static_cast<std::size_t>(index)] = record;
}

void DownLoadList::AppendRecordMessage(int index, const std::wstring& line) {
  std::lock_guard<std::mutex> hold(guard_);
  if (index >= 0 && index < static_cast<int>(records_.size()))
    records_[static_cast<std::size_t>(index)].spare += line + L"\n";
}

std::wstring DownLoadList::Description() const {
  std::lock_guard<std::mutex> hold(guard_);
  return description_;
}

void DownLoadList::SetDescription(const std::wstring& text) {
  std::lock_guard<std::mutex> hold(guard_);
  description_ = text;
}

std::vector<std::wstring> DownLoadList::Tasks() const {
  std::lock_guard<std::mutex> hold(guard_);
  return tasks_;
}

void DownLoadList::SetTasks(std::vector<std::wstring> tasks) {
  std::lock_guard<std::mutex> hold(guard_);
  tasks_ = std::move(tasks);
}

DownloadListValues DownLoadList::Snapshot() const {
  DownloadListValues values;
  values.status = CurrentStatus();
  std::lock_guard<std::mutex> hold(guard_);
  values.records = records_;
  values.description = description_;
  values.tasks = tasks_;
  return values;
}

void DownLoadList::Restore(const DownloadListValues& values) {
  SetRecords(values.records);
  SetDescription(values.description);
  SetTasks(values.tasks);
}

DownLoadList& CurrentDownLoadList() {
  // Never destroyed: a helper thread given up at exit may still read it.
  static DownLoadList* list = new DownLoadList;
  return *list;
}

}  // namespace tarvolin
