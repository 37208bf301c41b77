// `mirabo generate`: the command line read into SampleOptions, the folder
// made, the files written.
#include "tools/generate/sample_generator.h"

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

namespace mirabo::tools {
namespace {

// The whole of `text` as a number in `value`'s type; false for anything else,
// an overflow included.
template <typename Number>
bool ParseWhole(const std::string& text, Number& value) {
  const char* end = text.data() + text.size();
  auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

constexpr const char* kUsage =
    "usage: mirabo generate [--features N] [--suppliers N] [--issues N] [--reviews N]\n"
    "                       [--categories N] [--seed S] [--no-edge-cases] DIR\n";

}  // namespace

int RunGenerateCommand(const std::vector<std::string>& args) {
  SampleOptions options;
  std::string dir;
  auto usage_error = [](const std::string& why) {
    std::cerr << "mirabo generate: " << why << "\n" << kUsage;
    return 1;  // bad usage
  };

  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options_ended && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        options_ended = true;
        continue;
      }
      if (arg == "--help" || arg == "-h") {
        std::cout << kUsage;
        return 0;
      }
      if (arg == "--no-edge-cases") {
        options.edge_cases = false;
        continue;
      }
      std::string name = arg;
      std::string value;
      bool has_value = false;
      if (size_t equals = arg.find('='); equals != std::string::npos) {
        name = arg.substr(0, equals);
        value = arg.substr(equals + 1);
        has_value = true;
      }
      int* target = name == "--features"     ? &options.features
                    : name == "--suppliers"  ? &options.suppliers
                    : name == "--issues"     ? &options.issues
                    : name == "--reviews"    ? &options.reviews
                    : name == "--categories" ? &options.categories
                                             : nullptr;
      if (target == nullptr && name != "--seed") return usage_error("unknown option " + name);
      if (!has_value) {
        if (i + 1 >= args.size()) return usage_error(name + " needs a value");
        value = args[++i];
      }
      const bool parsed =
          target != nullptr ? ParseWhole(value, *target) : ParseWhole(value, options.seed);
      if (!parsed) return usage_error(name + " expects a whole number, not '" + value + "'");
      continue;
    }
    if (!dir.empty()) return usage_error("only one DIR may be given");
    dir = arg;
  }
  if (dir.empty()) return usage_error("missing DIR");
  if (std::string error = ValidateSampleOptions(options); !error.empty()) {
    return usage_error(error);
  }

  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::cerr << "mirabo generate: cannot create " << dir << ": " << ec.message() << "\n";
    return 2;  // could not write
  }
  if (std::string error = WriteSampleData(options, dir); !error.empty()) {
    std::cerr << "mirabo generate: " << error << "\n";
    return 2;  // could not write
  }
  return 0;
}

}  // namespace mirabo::tools
