// The game log's names and error texts, which the server's operator reads.
#include "driver/gamelog.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

std::time_t localTime(int year, int month1, int day, int hour, int minute) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month1 - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = 30;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

TEST(GameLog, TimeStampCountsMonthsFromZeroWithoutLeadingZeros) {
  EXPECT_EQ(Kelp::logTimeStamp(localTime(2027, 1, 3, 14, 5)), "2027-0-3-14-5");
  EXPECT_EQ(Kelp::logTimeStamp(localTime(2026, 12, 31, 23, 59)), "2026-11-31-23-59");
}

}  // namespace
