// Runs one script file in a script engine with the globals an automation host offers:
// createObject(ProgID), console.log(...), and host (paint, resize, sleep, args, scriptDir).
// Objects come from the registry store and their modules, as ObjectHost makes them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace pelmor::script {

struct ScriptOptions {
  std::string file;
  std::vector<std::string> args;  // host.args
  double timeoutSeconds = 0;      // 0: no limit
  int32_t width = 320;            // the window of each new control
  int32_t height = 240;
  std::string registryPath;       // the store classes are looked up in
  // Each control in a window on screen (needs a QApplication); after the script the windows stay
  // until they are closed or the time limit is reached.
  bool show = false;
};

// Exit codes.
inline constexpr int kScriptDone = 0;
inline constexpr int kScriptThrew = 1;
inline constexpr int kScriptUnreadable = 2;
inline constexpr int kScriptTimedOut = 3;

// Runs the script: console.log goes to out, errors to err. When it ends, every object it still
// holds is released and the modules are unloaded; a module that then still has live objects is
// reported and the script counts as failed.
int RunScriptFile(const ScriptOptions& options, std::FILE* out, std::FILE* err);

}  // namespace pelmor::script
