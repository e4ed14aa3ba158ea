#include "host/push_answer.h"

#include <climits>
#include <ctime>

#include "common/strings.h"

namespace tarvolin {
namespace {

class SystemLocalCalendar final : public LocalCalendar {
 public:
  std::optional<long long> LocalMidnight(int year, int month, int day) const override {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_isdst = -1;
    const std::time_t midnight = std::mktime(&fields);
    if (midnight == static_cast<std::time_t>(-1)) return std::nullopt;
    // mktime carries 31 February into March; such a day does not exist.
    if (fields.tm_mday != day || fields.tm_mon != month - 1 || fields.tm_year != year - 1900) return std::nullopt;
    return static_cast<long long>(midnight);
  }

  int LocalHour(long long time) const override {
    const std::time_t at = static_cast<std::time_t>(time);
    std::tm fields{};
#ifdef _WIN32
    if (localtime_s(&fields, &at) != 0) return 0;
#else
    if (!localtime_r(&at, &fields)) return 0;
#endif
    return fields.tm_hour;
  }
};

// The keys of a message, in the order they are looked up.
namespace keys {
constexpr std::wstring_view kMsgId = L"MsgId";
constexpr std::wstring_view kStartDelay = L"StarDelayNum";
constexpr std::wstring_view kPushNum = L"PushNum";
constexpr std::wstring_view kPushInterval = L"PushInterval";
constexpr std::wstring_view kMsgUrl = L"MsgUrl";
constexpr std::wstring_view kEleUrl = L"eleUrl";
constexpr std::wstring_view kEleTransUrl = L"eleTransUrl";
constexpr std::wstring_view kEndDate = L"MsgEndDate";
constexpr std::wstring_view kTimeType = L"timeType";
constexpr std::wstring_view kTimeValue = L"timeValue";
constexpr std::wstring_view kPosition = L"Position";
constexpr std::wstring_view kPageWidth = L"pageWidth";
constexpr std::wstring_view kPageHeight = L"pageHeight";
constexpr std::wstring_view kXOffset = L"xOffset";
constexpr std::wstring_view kYOffset = L"yOffset";
constexpr std::wstring_view kTask = L"task";
constexpr std::wstring_view kTaskMemo = L"taskMemo";
}  // namespace keys

constexpr std::size_t kNone = std::wstring_view::npos;

// The value of "Key": in one object, quotes removed; nothing when the key is absent.
// A value ends at the next comma, or at the closing brace when no comma
// follows. The hour list holds commas itself, so it ends at the next '",'.
std::optional<std::wstring> FieldValue(std::wstring_view object, std::wstring_view key) {
  const std::wstring pattern = L"\"" + std::wstring(key) + L"\":";
  const std::size_t at = object.find(pattern);
  if (at == kNone) return std::nullopt;
  const std::size_t start = object.find(L':', at) + 1;
  std::size_t end = key == keys::kTimeValue ? object.find(L"\",", start) : object.find(L',', start);
  if (end == kNone) end = object.find(L'}', start);
  if (end == kNone) end = object.size();
  return RemoveAll(std::wstring(object.substr(start, end - start)), L"\"");
}

int ToInt(std::wstring_view text) {
  const long long value = ParseDecimal(text);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

void ReadText(std::wstring_view object, std::wstring_view key, std::wstring& field) {
  if (auto value = FieldValue(object, key)) field = std::move(*value);
}

void ReadInt(std::wstring_view object, std::wstring_view key, int& field) {
  if (auto value = FieldValue(object, key)) field = ToInt(*value);
}

// One "%d" of a scanf-style pattern: optional blanks and sign, then at least
// one digit; `at` moves past it.
std::optional<int> ScanInt(std::wstring_view text, std::size_t& at) {
  while (at < text.size() && (text[at] == L' ' || text[at] == L'\t')) ++at;
  std::size_t digits = at;
  if (digits < text.size() && (text[digits] == L'-' || text[digits] == L'+')) ++digits;
  std::size_t end = digits;
  while (end < text.size() && text[end] >= L'0' && text[end] <= L'9') ++end;
  if (end == digits) return std::nullopt;
  const int value = ToInt(text.substr(at, end - at));
  at = end;
  return value;
}

// "year-month-day" as local midnight; nothing when it is not a real day.
std::optional<long long> ParseEndDate(std::wstring_view text, const LocalCalendar& calendar) {
  std::size_t at = 0;
  const auto year = ScanInt(text, at);
  if (!year || at >= text.size() || text[at++] != L'-') return std::nullopt;
  const auto month = ScanInt(text, at);
  if (!month || at >= text.size() || text[at++] != L'-') return std::nullopt;
  const auto day = ScanInt(text, at);
  if (!day || *year < 1900 || *month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
  return calendar.LocalMidnight(*year, *month, *day);
}

std::vector<int> ParseHours(const std::wstring& text) {
  std::vector<int> hours;
  if (text.empty()) return hours;
  for (const std::wstring& piece : Split(text, L',')) hours.push_back(ToInt(piece));
  return hours;
}

// One message object; nothing when its end date is not a real day.
std::optional<PushRecord> ParseRecord(std::wstring_view object, long long now, const LocalCalendar& calendar) {
  PushRecord record;
  record.end_date = now;
  ReadText(object, keys::kMsgId, record.msg_id);
  ReadInt(object, keys::kStartDelay, record.start_delay);
  ReadInt(object, keys::kPushNum, record.push_num);
  ReadInt(object, keys::kPushInterval, record.push_interval);
  ReadText(object, keys::kMsgUrl, record.msg_url);
  ReadText(object, keys::kEleUrl, record.ele_url);
  ReadText(object, keys::kEleTransUrl, record.ele_trans_url);
  if (auto text = FieldValue(object, keys::kEndDate)) {
    auto end = ParseEndDate(*text, calendar);
    if (!end) return std::nullopt;
    record.end_date = *end;
  }
  ReadInt(object, keys::kTimeType, record.time_type);
  if (auto text = FieldValue(object, keys::kTimeValue)) record.time_value = ParseHours(*text);
  ReadInt(object, keys::kPosition, record.position);
  ReadInt(object, keys::kPageWidth, record.page_width);
  ReadInt(object, keys::kPageHeight, record.page_height);
  ReadInt(object, keys::kXOffset, record.x_offset);
  ReadInt(object, keys::kYOffset, record.y_offset);
  ReadText(object, keys::kTask, record.task);
  ReadText(object, keys::kTaskMemo, record.task_memo);
  return record;
}

}  // namespace

const LocalCalendar& SystemCalendar() {
  static const SystemLocalCalendar calendar;
  return calendar;
}

long long CurrentTime() { return static_cast<long long>(std::time(nullptr)); }

std::vector<PushRecord> ParsePushAnswer(std::wstring_view answer, long long now, const LocalCalendar& calendar) {
  std::vector<PushRecord> records;
  // The first brace opens the enclosing object; each later one opens a message,
  // which runs to the next closing brace (or the end of a cut answer).
  std::size_t open = answer.find(L'{');
  if (open == kNone) return records;
  while ((open = answer.find(L'{', open + 1)) != kNone) {
    const std::size_t close = answer.find(L'}', open + 1);
    const std::wstring_view object = answer.substr(open, close == kNone ? kNone : close - open + 1);
    if (object.size() < 2) break;
    if (auto record = ParseRecord(object, now, calendar)) records.push_back(std::move(*record));
  }
  return records;
}

}  // namespace tarvolin
