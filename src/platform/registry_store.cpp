#include "platform/registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace pelmor::platform {

namespace {

std::string Reason(const std::string& what, const std::string& path, int err) {
  return what + " " + path + ": " + std::strerror(err);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// mkdir -p, new folders private to the user.
bool MakeFolders(const std::string& folder, std::string& error) {
  struct stat st {};
  if (stat(folder.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    error = "the registry folder " + folder + " is not a folder";
    return false;
  }
  const std::string parent = FolderOf(folder);
  if (parent != folder && !MakeFolders(parent, error)) return false;
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error = Reason("cannot create the registry folder", folder, errno);
    return false;
  }
  return true;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }
  // Closes now; false when close reported an error.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::optional<std::string> DefaultRegistryPath(std::string& error) {
  const char* explicitPath = std::getenv(kRegistryPathVariable);
  if (explicitPath != nullptr && *explicitPath != '\0') return std::string(explicitPath);
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && dataHome[0] == '/') return std::string(dataHome) + "/pelmor/registry";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    return std::string(home) + "/.local/share/pelmor/registry";
  }
  error = std::string("no registry location: set ") + kRegistryPathVariable +
          ", XDG_DATA_HOME or HOME";
  return std::nullopt;
}

std::optional<RegistryTree> ReadRegistry(const std::string& path, std::string& error) {
  // Non-blocking, so that a FIFO put in the store's place cannot hang the open.
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.Get() < 0) {
    if (errno == ENOENT) return RegistryTree{};
    error = Reason("cannot read the registry", path, errno);
    return std::nullopt;
  }
  struct stat st {};
  if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "the registry " + path + " is not a regular file";
    return std::nullopt;
  }
  if (st.st_size > static_cast<off_t>(kRegistryMaxFileSize)) {
    error = "the registry " + path + " is larger than " +
            std::to_string(kRegistryMaxFileSize >> 20) + " MiB; it was left as it is";
    return std::nullopt;
  }
  std::string text(static_cast<size_t>(st.st_size), '\0');
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = read(fd.Get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = Reason("cannot read the registry", path, errno);
      return std::nullopt;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  text.resize(done);
  std::string why;
  auto tree = RegistryTree::Parse(text, why);
  if (!tree) {
    error = "the registry " + path + " is damaged (" + why + "); it was left as it is";
    return std::nullopt;
  }
  return tree;
}

std::optional<std::string> QueryRegistryValue(RegistryRoot root, std::string_view key,
                                              std::string_view name) {
  std::string error;
  const auto path = DefaultRegistryPath(error);
  if (!path) return std::nullopt;
  const auto tree = ReadRegistry(*path, error);
  if (!tree) return std::nullopt;
  return tree->GetValue(root, key, name);
}

RegistryTransaction::~RegistryTransaction() {
  if (lockFd_ >= 0) close(lockFd_);  // closing the descriptor releases the lock
}

bool RegistryTransaction::Begin(const std::string& path, std::string& error, int waitMs) {
  if (lockFd_ >= 0) {
    error = "a registry change is already in progress";
    return false;
  }
  if (path.empty()) {
    error = "no registry path";
    return false;
  }
  if (!MakeFolders(FolderOf(path), error)) return false;
  const std::string lockPath = path + ".lock";
  const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    error = Reason("cannot open the registry lock", lockPath, errno);
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
      const int err = errno;
      close(fd);
      error = err == EWOULDBLOCK ? "the registry " + path + " is locked by another change"
                                 : Reason("cannot lock the registry", lockPath, err);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  auto tree = ReadRegistry(path, error);
  if (!tree) {
    close(fd);
    return false;
  }
  lockFd_ = fd;
  path_ = path;
  tree_ = std::move(*tree);
  return true;
}

bool RegistryTransaction::Commit(std::string& error) {
  if (lockFd_ < 0) {
    error = "the registry is not locked for a change";
    return false;
  }
  static std::atomic<unsigned> counter{0};
  const std::string temp = path_ + ".tmp-" + std::to_string(getpid()) + "-" +
                           std::to_string(counter.fetch_add(1));
  Fd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (fd.Get() < 0) {
    error = Reason("cannot write in the registry folder", FolderOf(path_), errno);
    return false;
  }
  const std::string text = tree_.Serialize();
  const bool written = WriteAll(fd.Get(), text) && fsync(fd.Get()) == 0;
  const int writeErr = errno;
  if (!fd.Close() || !written) {
    unlink(temp.c_str());
    error = Reason("cannot write the registry", temp, written ? errno : writeErr);
    return false;
  }
  if (rename(temp.c_str(), path_.c_str()) != 0) {
    const int err = errno;
    unlink(temp.c_str());
    error = Reason("cannot replace the registry", path_, err);
    return false;
  }
  // The rename itself reaches the disk with the folder.
  Fd folder(open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() >= 0) fsync(folder.Get());
  return true;
}

}  // namespace pelmor::platform
