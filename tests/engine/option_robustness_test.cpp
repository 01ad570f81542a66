#include "tests/engine/option_test_support.h"

namespace kestrel::test {
namespace {

using OptionRobustness = OptionTest;

// Every option name with hostile values either takes the value or raises the engine's
// exception; nothing else escapes and nothing reads or writes out of bounds.
TEST_F(OptionRobustness, HostileValuesRaiseOnlyEngineErrors) {
  const std::vector<std::string> values = {
      "",
      "=",
      ":",
      "-1",
      "0",
      "99999999999999999999",
      "1:2:3",
      "a=b",
      ",,,,",
      "-5:1",
      "25:1.0",
      "nan",
      "inf",
      "-inf",
      "0x10",
      "1e308",
      "\xff\xfe\x01",
      "-2147483648",
      "1.2.3.4",
      "pal-",
      "ntsc-vcd",
      "=name",
      std::string(5000, 'x'),
      std::string(64 * 12, ','),
      "%s%s%n",
      "16:-9",
      "  ",
      "list-",
  };
  engine_.output_files = 1;
  engine_.hook_result = 1;
  for (const std::string& name : TFFmpegOptions::OptionNames()) {
    if (name == "pix_fmt" || name == "sample_fmt") continue;  // "list" only logs
    for (const std::string& value : values) {
      engine_.ResetOptions();
      try {
        engine_.SetOption(name, value);
      } catch (const FFmpegException&) {
      } catch (...) {
        ADD_FAILURE() << name << "=" << value << " raised something else";
      }
    }
  }
  for (const char* name : {"aspect", "qscale"}) {
    for (const char* value : {"nan", "-1", "-16:9", "inf"}) {
      EXPECT_NE(ErrorOf([&] { engine_.SetOption(name, value); }), "") << name << "=" << value;
    }
  }
}

}  // namespace
}  // namespace kestrel::test
