#include "cli/command_convert_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>

namespace kestrel::cli {

const char* const kConvertHelp =
    "Usage: kestrel-cli convert [OPTIONS] [--] FILE...\n"
    "\n"
    "Converts each FILE with an output profile, using the settings file and the profile\n"
    "catalogue of the windows (a profile tuned there converts the same here). Each file\n"
    "becomes NAME_(new).EXT in the output folder; an existing file is never overwritten.\n"
    "The settings file itself is not changed; a profile never tuned there converts with\n"
    "the catalogue's default choices.\n"
    "\n"
    "Output:\n"
    "  --profile CODE|NAME      the profile, by code or name ('kestrel-cli profiles');\n"
    "                           default: the current profile of the settings file\n"
    "  --output-dir DIR         folder of the converted files, created when missing;\n"
    "                           default: the output folder of the settings file\n"
    "  --zoom full|lbox|pan|center\n"
    "                           how the picture fills the profile's frame size\n"
    "                           (default: the profile's)\n"
    "  --frame-size-answer yes|no\n"
    "                           the answer when the profile's frame size cannot be read:\n"
    "                           yes converts at 320x240, no at the source's size (default)\n"
    "  -x NAME=VALUE            an extra engine option line for every output (repeatable)\n"
    "  --jobs N                 files converted at once (default 1)\n"
    "  --open-folder            open the output folder when the last file has converted\n"
    "\n"
    "Edits (applied to every FILE):\n"
    "  --trim START[,LENGTH]    convert from START seconds, LENGTH seconds long\n"
    "                           (decimals allowed; no LENGTH: to the end)\n"
    "  --crop T,L,B,R           source pixels cut from the top, left, bottom and right\n"
    "  --text TEXT              a text mark\n"
    "  --font FACE              its font face (default \"MS Sans Serif\" or a similar one)\n"
    "  --font-size POINTS       its size (default 8)\n"
    "  --font-color RRGGBB      its colour, hexadecimal, '#' allowed (default 000000)\n"
    "  --font-style STYLES      any of bold,italic,underline,strikeout, comma separated\n"
    "  --text-pos X,Y           its top-left corner in source pixels (default 0,0)\n"
    "  --image BMP              an image mark read from a BMP file\n"
    "  --image-pos X,Y          its top-left corner in source pixels (default 0,0)\n"
    "  --image-alpha 0..255     its weight in the alpha blend (default 168)\n"
    "  --image-style N          1 alpha blend (default), any other number multiply\n"
    "  --brightness 0..512      255 leaves the picture as it is (default)\n"
    "  --contrast -100..100     0 leaves it (default)\n"
    "  --saturation 0..512      255 leaves it (default)\n"
    "  --exposure -255..512     0 leaves it (default)\n"
    "  --process-text           draw the text before the colour changes (they change it too)\n"
    "  --process-image          draw the image before the colour changes\n"
    "\n"
    "Other:\n"
    "  --print-options          convert nothing; print for each file one line with the\n"
    "                           input's option arguments ending with '-i FILE' and one\n"
    "                           with the output's ending with the destination, as the\n"
    "                           engine receives them, quoted for a POSIX shell\n"
    "  --no-hook                pictures skip the per-picture hook (for measuring what it\n"
    "                           costs); refused together with marks or colour changes\n"
    "  --                       end of options\n"
    "  -h, --help               show this text\n"
    "\n"
    "On a terminal a progress line shows the file, its percentage, the frames per\n"
    "second, the time spent and the time left; otherwise plain lines are printed.\n"
    "Ctrl-C stops cleanly: the file being written is closed as a complete file.\n"
    "\n"
    "Exit status: 0 when every file converted, 1 when a file could not be converted\n"
    "(each is listed with its error), 2 on a usage error, 130 when stopped by Ctrl-C\n"
    "or a termination signal.\n";

namespace {

using Handler = std::function<std::string(const std::string& value)>;

struct OptionRow {
  const char* name;
  bool takes_value;
  Handler handle;
};

std::vector<std::string> SplitAt(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

std::optional<long> ParseLong(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return std::nullopt;
  return value;
}

std::optional<double> ParseSeconds(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(value) || value < 0 || value > 1e9)
    return std::nullopt;
  return value;
}

Handler IntegerInto(std::int32_t& field, long low, long high, const char* what) {
  return [&field, low, high, what](const std::string& value) -> std::string {
    const auto number = ParseLong(value);
    if (!number || *number < low || *number > high) {
      return std::string(what) + " must be a whole number from " + std::to_string(low) + " to " +
             std::to_string(high) + ", not '" + value + "'";
    }
    field = static_cast<std::int32_t>(*number);
    return "";
  };
}

Handler PairInto(std::int32_t& x, std::int32_t& y, const char* what) {
  return [&x, &y, what](const std::string& value) -> std::string {
    const auto parts = SplitAt(value, ',');
    const auto a = parts.size() == 2 ? ParseLong(parts[0]) : std::nullopt;
    const auto b = parts.size() == 2 ? ParseLong(parts[1]) : std::nullopt;
    if (!a || !b || std::labs(*a) > 100000 || std::labs(*b) > 100000)
      return std::string(what) + " must be X,Y in pixels, not '" + value + "'";
    x = static_cast<std::int32_t>(*a);
    y = static_cast<std::int32_t>(*b);
    return "";
  };
}

std::string ParseTrim(const std::string& value, jobs::TlvFilesRecord& record) {
  const auto parts = SplitAt(value, ',');
  const auto start = parts.empty() ? std::nullopt : ParseSeconds(parts[0]);
  const auto length = parts.size() == 2 ? ParseSeconds(parts[1]) : std::optional<double>(0);
  if (parts.empty() || parts.size() > 2 || !start || !length || (parts.size() == 2 && *length <= 0))
    return "--trim must be START[,LENGTH] in seconds with LENGTH above 0, not '" + value + "'";
  record.TrimStart = std::llround(*start * 1e6);
  record.TrimLength = std::llround(*length * 1e6);
  return "";
}

std::string ParseCrop(const std::string& value, jobs::TlvFilesRecord& record) {
  const auto parts = SplitAt(value, ',');
  std::int32_t* fields[] = {&record.CropTop, &record.CropLeft, &record.CropBottom,
                            &record.CropRight};
  std::int32_t* spins[] = {&record.SpinUp, &record.SpinLeft, &record.SpinDown, &record.SpinRight};
  if (parts.size() != 4) return "--crop must be T,L,B,R in pixels, not '" + value + "'";
  for (size_t i = 0; i < 4; ++i) {
    const auto number = ParseLong(parts[i]);
    if (!number || *number < 0 || *number > 100000)
      return "--crop must be T,L,B,R in pixels, not '" + value + "'";
    *fields[i] = *spins[i] = static_cast<std::int32_t>(*number);
  }
  return "";
}

// "RRGGBB" (or "#RRGGBB") into the record's 0x00BBGGRR.
std::string ParseColour(const std::string& value, std::uint32_t& colour) {
  const std::string hex = !value.empty() && value[0] == '#' ? value.substr(1) : value;
  char* end = nullptr;
  const unsigned long rgb = hex.size() == 6 ? std::strtoul(hex.c_str(), &end, 16) : 0;
  if (hex.size() != 6 || *end != '\0' || hex[0] == '-' || hex[0] == '+')
    return "--font-color must be RRGGBB in hexadecimal, not '" + value + "'";
  colour = static_cast<std::uint32_t>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
  return "";
}

std::string ParseStyle(const std::string& value, std::uint8_t& style) {
  style = 0;
  for (const std::string& name : SplitAt(value, ',')) {
    if (name == "bold") {
      style |= fsBold;
    } else if (name == "italic") {
      style |= fsItalic;
    } else if (name == "underline") {
      style |= fsUnderline;
    } else if (name == "strikeout") {
      style |= fsStrikeOut;
    } else if (!name.empty()) {
      return "--font-style knows bold, italic, underline and strikeout, not '" + name + "'";
    }
  }
  return "";
}

std::vector<OptionRow> OptionTable(ConvertOptions& o) {
  jobs::TlvFilesRecord& r = o.edits;
  auto text_into = [](std::string& field) {
    return [&field](const std::string& value) {
      field = value;
      return std::string();
    };
  };
  auto flag = [](bool& field) {
    return [&field](const std::string&) {
      field = true;
      return std::string();
    };
  };
  return {
      {"--profile", true, text_into(o.profile)},
      {"--output-dir", true,
       [&o](const std::string& value) {
         o.output_dir = value;
         return value.empty() ? std::string("--output-dir needs a folder") : std::string();
       }},
      {"--zoom", true,
       [&o](const std::string& value) {
         if (value != "full" && value != "lbox" && value != "pan" && value != "center")
           return "--zoom is one of full, lbox, pan and center, not '" + value + "'";
         o.zoom = value;
         return std::string();
       }},
      {"--frame-size-answer", true,
       [&o](const std::string& value) {
         if (value != "yes" && value != "no")
           return "--frame-size-answer is yes or no, not '" + value + "'";
         o.frame_size_answer = value == "yes";
         return std::string();
       }},
      {"-x", true,
       [&o](const std::string& value) {
         const size_t equals = value.find('=');
         if (equals == std::string::npos || equals == 0)
           return "-x needs NAME=VALUE, not '" + value + "'";
         o.extra_lines.push_back(value);
         return std::string();
       }},
      {"--jobs", true,
       [&o](const std::string& value) {
         const auto number = ParseLong(value);
         if (!number || *number < 1 || *number > 64)
           return "--jobs must be a whole number from 1 to 64, not '" + value + "'";
         o.jobs = static_cast<int>(*number);
         return std::string();
       }},
      {"--open-folder", false, flag(o.open_folder)},
      {"--trim", true, [&r](const std::string& value) { return ParseTrim(value, r); }},
      {"--crop", true, [&r](const std::string& value) { return ParseCrop(value, r); }},
      {"--text", true, text_into(r.WaterText)},
      {"--font", true, text_into(r.WaterFont.Name)},
      {"--font-size", true, IntegerInto(r.WaterFont.Size, 1, 1000, "--font-size")},
      {"--font-color", true,
       [&r](const std::string& value) { return ParseColour(value, r.WaterFont.Color); }},
      {"--font-style", true,
       [&r](const std::string& value) { return ParseStyle(value, r.WaterFont.Style); }},
      {"--text-pos", true, PairInto(r.TextX, r.TextY, "--text-pos")},
      {"--image", true, text_into(r.WaterImage)},
      {"--image-pos", true, PairInto(r.ImageX, r.ImageY, "--image-pos")},
      {"--image-alpha", true, IntegerInto(r.ImageAlpha, 0, 255, "--image-alpha")},
      {"--image-style", true, IntegerInto(r.TransparentStyle, -1000, 1000, "--image-style")},
      {"--brightness", true, IntegerInto(r.Brightness, 0, 512, "--brightness")},
      {"--contrast", true, IntegerInto(r.Contrast, -100, 100, "--contrast")},
      {"--saturation", true, IntegerInto(r.Saturation, 0, 512, "--saturation")},
      {"--exposure", true, IntegerInto(r.Exposure, -255, 512, "--exposure")},
      {"--process-text", false, flag(r.ProcessText)},
      {"--process-image", false, flag(r.ProcessImage)},
      {"--print-options", false, flag(o.print_options)},
      {"--no-hook", false, flag(o.no_hook)},
      {"--help", false, flag(o.help)},
      {"-h", false, flag(o.help)},
  };
}

}  // namespace

std::string ParseConvertOptions(const std::vector<std::string>& args, ConvertOptions& options) {
  const std::vector<OptionRow> table = OptionTable(options);
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      options.files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    const size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
    const std::string name = arg.substr(0, equals);
    const OptionRow* row = nullptr;
    for (const OptionRow& candidate : table)
      if (name == candidate.name) row = &candidate;
    if (!row) return "unknown option '" + arg + "'";
    std::string value;
    if (row->takes_value) {
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return name + " needs a value";
      }
    } else if (equals != std::string::npos) {
      return name + " takes no value";
    }
    if (std::string error = row->handle(value); !error.empty()) return error;
  }
  if (!options.help && options.files.empty()) return "no file given";
  if (options.no_hook && !jobs::HasNoEffects(options.edits))
    return "--no-hook converts without marks and colour changes; leave them out or drop --no-hook";
  return "";
}

}  // namespace kestrel::cli
