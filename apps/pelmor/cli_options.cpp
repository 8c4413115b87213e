#include "cli_options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace pelmor::cli {

Arguments::Arguments(const std::vector<std::string>& args,
                     const std::vector<std::string>& valueOptions,
                     const std::vector<std::string>& flags) {
  auto known = [](const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      std::string name = a.substr(2);
      if (known(flags, name)) {
        flags_.push_back(name);
      } else if (known(valueOptions, name)) {
        if (i + 1 >= args.size()) throw UsageError{"option --" + name + " needs a value"};
        values_.emplace_back(name, args[++i]);
      } else {
        throw UsageError{"unknown option " + a};
      }
    } else {
      positional_.push_back(a);
    }
  }
}

bool Arguments::Has(const std::string& name) const {
  return std::find(flags_.begin(), flags_.end(), name) != flags_.end() || Value(name).has_value();
}

std::optional<std::string> Arguments::Value(const std::string& name) const {
  std::optional<std::string> last;
  for (const auto& [n, v] : values_) {
    if (n == name) last = v;
  }
  return last;
}

int32_t Arguments::IntOr(const std::string& name, int32_t fallback) const {
  auto v = Value(name);
  if (!v) return fallback;
  errno = 0;
  char* end = nullptr;
  long long n = std::strtoll(v->c_str(), &end, 10);
  if (v->empty() || *end != '\0' || errno != 0 || n < INT32_MIN || n > INT32_MAX) {
    throw UsageError{"--" + name + " needs an integer, not '" + *v + "'"};
  }
  return static_cast<int32_t>(n);
}

float Arguments::FloatOr(const std::string& name, float fallback) const {
  auto v = Value(name);
  if (!v) return fallback;
  char* end = nullptr;
  float f = std::strtof(v->c_str(), &end);
  if (v->empty() || *end != '\0' || !std::isfinite(f)) {
    throw UsageError{"--" + name + " needs a number, not '" + *v + "'"};
  }
  return f;
}

uint32_t Arguments::ColorOr(const std::string& name, uint32_t fallback) const {
  auto v = Value(name);
  if (!v) return fallback;
  auto c = ParseColor(*v);
  if (!c) throw UsageError{"--" + name + " needs a colour as RRGGBB, not '" + *v + "'"};
  return *c;
}

std::optional<uint32_t> ParseColor(const std::string& text) {
  if (text.size() != 6) return std::nullopt;
  uint32_t rgb = 0;
  for (char c : text) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    rgb = rgb << 4 | static_cast<uint32_t>(d);
  }
  const uint32_t r = rgb >> 16, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  return b << 16 | g << 8 | r;
}

}  // namespace pelmor::cli
