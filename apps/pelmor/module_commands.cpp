// pelmor register|unregister [MODULE], pelmor typelib, and pelmor script (run by its own program,
// which brings the script engine along only when a script runs).
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "cli_options.h"
#include "commands.h"
#include "control/type_library.h"
#include "object_host.h"
#include "pelmor/pelmor.h"
#include "platform/registry_store.h"

namespace pelmor::cli {

namespace {

// The folder of the running program.
std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  std::string s(path);
  return s.substr(0, s.rfind('/'));
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// The name of a self-registration result.
const char* ResultName(HRESULT hr) {
  if (hr == S_OK) return "S_OK";
  if (hr == SELFREG_E_TYPELIB) return "SELFREG_E_TYPELIB";
  if (hr == SELFREG_E_CLASS) return "SELFREG_E_CLASS";
  return "failed";
}

// Why the store cannot be changed, when that can be seen from outside; "" when it looks fine.
std::string RegistryProblem(const std::string& path) {
  std::string error;
  if (!platform::ReadRegistry(path, error)) return error;
  std::string folder = path.substr(0, path.rfind('/'));
  while (!folder.empty() && !Exists(folder)) folder = folder.substr(0, folder.rfind('/'));
  if (!folder.empty() && access(folder.c_str(), W_OK) != 0) {
    return "cannot write in " + folder;
  }
  return {};
}

}  // namespace

std::string DefaultModulePath() {
  const std::string folder = ProgramFolder();
  // Installed: <prefix>/bin/pelmor beside <prefix>/<libdir>/libpelmor.so. In the build tree the
  // module is built in its own folder.
  for (const std::string& candidate : {folder + "/" PELMOR_BIN_TO_LIB "/libpelmor.so",
                                       folder + "/" PELMOR_BUILD_TO_MODULE "/libpelmor.so"}) {
    char resolved[PATH_MAX];
    if (realpath(candidate.c_str(), resolved) != nullptr) return resolved;
  }
  return folder + "/" PELMOR_BIN_TO_LIB "/libpelmor.so";
}

int RunRegister(const std::vector<std::string>& args, bool registering) {
  const Arguments a(args, {}, {});
  if (a.Positional().size() > 1) throw UsageError{"too many arguments"};
  const std::string module = a.Positional().empty() ? DefaultModulePath() : a.Positional()[0];
  const char* entry = registering ? "DllRegisterServer" : "DllUnregisterServer";
  // A name without a slash would be searched for along the library path; the user means a file.
  const std::string path = module.find('/') == std::string::npos ? "./" + module : module;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* e = dlerror();
    std::fprintf(stderr, "pelmor: cannot load %s: %s\n", module.c_str(), e ? e : "unknown error");
    return kExitFailed;
  }
  auto call = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(handle, entry));
  if (call == nullptr) {
    std::fprintf(stderr, "pelmor: %s has no %s\n", module.c_str(), entry);
    dlclose(handle);
    return kExitFailed;
  }
  const HRESULT hr = call();
  dlclose(handle);
  std::string error;
  const auto store = platform::DefaultRegistryPath(error);
  std::printf("%s %s: %s (%s)\n", entry, module.c_str(), HresultText(hr).c_str(), ResultName(hr));
  if (FAILED(hr)) {
    if (!store) {
      std::fprintf(stderr, "pelmor: %s\n", error.c_str());
    } else if (const std::string problem = RegistryProblem(*store); !problem.empty()) {
      std::fprintf(stderr, "pelmor: %s\n", problem.c_str());
    } else if (!registering && hr == SELFREG_E_TYPELIB) {
      std::fprintf(stderr, "pelmor: the module's type library is not registered in %s\n",
                   store->c_str());
    }
  } else if (store) {
    std::printf("registry: %s\n", store->c_str());
  }
  return SUCCEEDED(hr) ? kExitOk : kExitFailed;
}

int RunTypelib(const std::vector<std::string>& args) {
  if (!args.empty()) throw UsageError{"typelib takes no arguments"};
  std::fputs(TypeLibraryIdl(PelmorTypeLibrary()).c_str(), stdout);
  return kExitOk;
}

int RunScript(const std::vector<std::string>& args) {
  const std::string folder = ProgramFolder();
  std::string host;
  for (const std::string& candidate :
       {folder + "/pelmor-script", folder + "/" PELMOR_BIN_TO_LIBEXEC "/pelmor-script"}) {
    if (access(candidate.c_str(), X_OK) == 0) {
      host = candidate;
      break;
    }
  }
  if (host.empty()) {
    std::fprintf(stderr, "pelmor: the script host (pelmor-script) is not installed\n");
    return kExitFailed;
  }
  std::vector<char*> argv;
  argv.push_back(host.data());
  for (const std::string& s : args) argv.push_back(const_cast<char*>(s.c_str()));
  argv.push_back(nullptr);
  std::fflush(stdout);
  execv(host.c_str(), argv.data());
  std::perror("pelmor: cannot run the script host");
  return kExitFailed;
}

}  // namespace pelmor::cli
