#include <gtest/gtest.h>

#include "engine/ext_options.h"

namespace kestrel {
namespace {

struct Case {
  const char* text;
  std::vector<std::pair<std::string, std::string>> lines;
};

TEST(SplitOptionLines, TrimsNormalisesBreaksAndCutsAtTheFirstEquals) {
  const Case cases[] = {
      {"", {}},
      {"  \r\n ", {}},
      {"acodec=mp2", {{"acodec", "mp2"}}},
      {"ACodec=MP2\r\nnewaudio=", {{"acodec", "MP2"}, {"newaudio", ""}}},
      {"vf=crop=10:0:1270:720<CRLF>Threads=2", {{"vf", "crop=10:0:1270:720"}, {"threads", "2"}}},
      {"a\rb\n\nc", {{"a", ""}, {"b", ""}, {"", ""}, {"c", ""}}},
      {" name =value ", {{"name ", "value"}}},
  };
  for (const Case& c : cases) {
    auto lines = SplitOptionLines(c.text);
    ASSERT_EQ(lines.size(), c.lines.size()) << c.text;
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].name, c.lines[i].first) << c.text;
      EXPECT_EQ(lines[i].value, c.lines[i].second) << c.text;
    }
  }
}

}  // namespace
}  // namespace kestrel
