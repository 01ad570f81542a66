#include <gtest/gtest.h>

#include "effects/format_time.h"

namespace kestrel::test {
namespace {

TEST(FormatTime, HoursMinutesSecondsMilliseconds) {
  const struct {
    std::int64_t us;
    const char* text;
  } cases[] = {
      {0, "00:00:00.000"},          {999, "00:00:00.000"},
      {1999, "00:00:00.001"},       {59999999, "00:00:59.999"},
      {3723004000, "01:02:03.004"}, {360000000000, "100:00:00.000"},  // hours are not wrapped
  };
  for (const auto& c : cases) EXPECT_EQ(FormatTime(c.us), c.text) << c.us;
}

}  // namespace
}  // namespace kestrel::test
