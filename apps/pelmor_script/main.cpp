// pelmor-script FILE.js [--timeout SECONDS] [--size WxH] [ARG...]: the script host behind
// `pelmor script`.
#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/registry_store.h"
#include "script_host.h"

namespace {

constexpr char kUsage[] =
    "usage: pelmor script FILE.js [--show] [--timeout SECONDS] [--size WxH] [ARG...]\n"
    "(see pelmor --help)\n";

bool ParseSize(const std::string& text, int32_t& w, int32_t& h) {
  const size_t x = text.find('x');
  if (x == std::string::npos || x == 0 || x + 1 >= text.size() || text.size() > 11) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i != x && (text[i] < '0' || text[i] > '9')) return false;
  }
  w = std::atoi(text.substr(0, x).c_str());
  h = std::atoi(text.substr(x + 1).c_str());
  return w >= 1 && h >= 1 && w <= 16384 && h <= 16384;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pelmor::script;
  ScriptOptions options;
  bool optionsOver = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (!optionsOver && a == "--") {
      optionsOver = true;
    } else if (!optionsOver && a == "--show") {
      options.show = true;
    } else if (!optionsOver && a == "--timeout" && i + 1 < argc) {
      char* end = nullptr;
      options.timeoutSeconds = std::strtod(argv[++i], &end);
      if (*end != '\0' || !(options.timeoutSeconds > 0) || options.timeoutSeconds > 1e6) {
        std::fputs(kUsage, stderr);
        return kScriptUnreadable;
      }
    } else if (!optionsOver && a == "--size" && i + 1 < argc) {
      if (!ParseSize(argv[++i], options.width, options.height)) {
        std::fputs(kUsage, stderr);
        return kScriptUnreadable;
      }
    } else if (!optionsOver && a.rfind("--", 0) == 0) {
      std::fprintf(stderr, "pelmor script: unknown option %s\n%s", a.c_str(), kUsage);
      return kScriptUnreadable;
    } else if (options.file.empty()) {
      options.file = a;
    } else {
      options.args.push_back(a);
    }
  }
  if (options.file.empty()) {
    std::fputs(kUsage, stderr);
    return kScriptUnreadable;
  }
  std::string error;
  const auto registry = pelmor::platform::DefaultRegistryPath(error);
  options.registryPath = registry ? *registry : std::string();
  if (!options.show) {
    QCoreApplication app(argc, argv);
    return RunScriptFile(options, stdout, stderr);
  }
  // Qt ends the process when it cannot reach a display; say so plainly instead.
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
      std::getenv("QT_QPA_PLATFORM") == nullptr) {
    std::fputs("pelmor script: --show needs a display (DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM)\n",
               stderr);
    return kScriptUnreadable;
  }
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(true);
  return RunScriptFile(options, stdout, stderr);
}
