#include "common/window_texts.h"

#include <map>
#include <mutex>
#include <utility>

namespace tarvolin {
namespace {

struct Table {
  std::mutex guard;
  std::map<std::pair<UINT, UINT_PTR>, std::wstring> texts;
  UINT_PTR last_key = 0;
};

Table& Texts() {
  static Table table;
  return table;
}

// Keys start where another process cannot predict them, so a forged message
// cannot even pick a text that is parked at that moment by chance.
UINT_PTR FirstKey() {
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  return static_cast<UINT_PTR>(now.QuadPart * 2654435761u) ^ static_cast<UINT_PTR>(::GetCurrentProcessId()) << 7;
}

}  // namespace

ParkedWindowText::ParkedWindowText(UINT message, std::wstring text) : message_(message) {
  Table& table = Texts();
  std::lock_guard<std::mutex> hold(table.guard);
  if (table.last_key == 0) table.last_key = FirstKey();
  do {
    key_ = ++table.last_key;
  } while (key_ == 0 || table.texts.count({message, key_}) != 0);
  table.texts.emplace(std::pair{message, key_}, std::move(text));
}

ParkedWindowText::~ParkedWindowText() {
  Table& table = Texts();
  std::lock_guard<std::mutex> hold(table.guard);
  table.texts.erase({message_, key_});
}

std::optional<std::wstring> ParkedText(UINT message, UINT_PTR key) {
  Table& table = Texts();
  std::lock_guard<std::mutex> hold(table.guard);
  const auto found = table.texts.find({message, key});
  if (found == table.texts.end()) return std::nullopt;
  return found->second;
}

}  // namespace tarvolin
