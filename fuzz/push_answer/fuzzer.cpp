// The publisher's push-message answer as it comes off the network, then the
// schedule fed with what was read, as the scheduler thread does with it.
#include <algorithm>

#include "host/push_answer.h"
#include "host/push_schedule.h"
#include "support/fuzz_input.h"

using namespace tarvolin;
using namespace tarvolin::fuzz;

namespace {
// A moment well inside the range every calendar handles.
constexpr long long kFetchedAt = 1'800'000'000;
// Enough passes, a few seconds apart, to reach delays, intervals and an hour change.
constexpr int kPasses = 64;
constexpr long long kPassStep = 97;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring answer = Utf8ToUnits(Bytes(data, size));
  std::vector<PushRecord> records = ParsePushAnswer(answer, kFetchedAt, SystemCalendar());
  // The enclosing object is never a message, so every record needs a brace of its own.
  const auto braces = static_cast<std::size_t>(std::count(answer.begin(), answer.end(), L'{'));
  FUZZ_CHECK(records.size() <= (braces == 0 ? 0 : braces - 1));
  const std::wstring first_id = records.empty() ? std::wstring() : records.front().msg_id;

  PushSchedule schedule(std::move(records), kFetchedAt);
  for (int pass = 1; pass <= kPasses; ++pass) {
    const auto showing = schedule.Pass(true, kFetchedAt + pass * kPassStep, SystemCalendar());
    // task|MsgId|MsgUrl|eleUrl|eleTransUrl and five numbers.
    if (showing) FUZZ_CHECK(std::count(showing->begin(), showing->end(), L'|') >= 9);
    if (pass == kPasses / 2) schedule.MarkDone(first_id);
  }
  return 0;
}
