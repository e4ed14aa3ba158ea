// A calendar for push message tests: a fixed distance from UTC, no daylight
// saving, so a test knows the local hour of every second it feeds in.
#pragma once

#include <optional>

#include "host/push_answer.h"

namespace tarvolin::testing {

class FixedZoneCalendar final : public LocalCalendar {
 public:
  explicit FixedZoneCalendar(int hours_east = 8) : offset_(hours_east * 3600LL) {}

  std::optional<long long> LocalMidnight(int year, int month, int day) const override {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) {
      return std::nullopt;
    }
    return DaysFromCivil(year, month, day) * 86400 - offset_;
  }
  int LocalHour(long long time) const override {
    long long in_day = (time + offset_) % 86400;
    if (in_day < 0) in_day += 86400;
    return static_cast<int>(in_day / 3600);
  }
  // Seconds since 1970 of a local time.
  long long At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) const {
    return *LocalMidnight(year, month, day) + hour * 3600LL + minute * 60LL + second;
  }

 private:
  // Days since 1970-01-01 of a proleptic Gregorian date.
  static long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
  }

  long long offset_;
};

}  // namespace tarvolin::testing
