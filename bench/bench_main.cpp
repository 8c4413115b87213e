// pelmor_bench [--only TEXT] [--section NAME]... [--seconds S] DATA_DIR
#include <sys/mman.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "bench.h"
#include "codecs/codec_table.h"
#include "model/image_doc.h"

namespace pelmor::bench {

namespace {

using Clock = std::chrono::steady_clock;

double TimeMs(const RunFn& fn, size_t* produced) {
  auto t0 = Clock::now();
  size_t n = fn();
  auto t1 = Clock::now();
  if (produced != nullptr) *produced = n;
  return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

double ProcessCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The process's CPU time (all its threads) spent while fn runs.
double CpuMs(const RunFn& fn, size_t* produced) {
  const double t0 = ProcessCpuMs();
  size_t n = fn();
  const double t1 = ProcessCpuMs();
  if (produced != nullptr) *produced = n;
  return t1 - t0;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// The physical floor: copying the decoded number of bytes, into a fresh allocation (as every
// decoder here must) and into a buffer already touched.
struct Floor {
  double coldMs = 0;
  double hugeMs = 0;
  double warmMs = 0;
};

Floor MeasureFloor(size_t bytes, int rounds) {
  Floor f;
  if (bytes == 0) return f;
  std::vector<uint8_t> src(bytes, 0x5A);
  std::vector<uint8_t> warm(bytes, 0);
  std::vector<double> cold, huge, hot;
  for (int r = 0; r < rounds; ++r) {
    cold.push_back(TimeMs([&] {
      // Mapped directly, so that the pages are new whatever the heap holds.
      void* m = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      std::memcpy(m, src.data(), bytes);
      size_t last = static_cast<uint8_t*>(m)[bytes - 1];
      ::munmap(m, bytes);
      return last;
    }, nullptr));
    huge.push_back(TimeMs([&] {
      const size_t len = (bytes + (2u << 20)) & ~size_t{(2u << 20) - 1};
      void* m = ::mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      ::madvise(m, len, MADV_HUGEPAGE);
      std::memcpy(m, src.data(), bytes);
      size_t last = static_cast<uint8_t*>(m)[bytes - 1];
      ::munmap(m, len);
      return last;
    }, nullptr));
    hot.push_back(TimeMs([&] {
      std::memcpy(warm.data(), src.data(), bytes);
      return size_t{warm[bytes - 1]};
    }, nullptr));
  }
  f.coldMs = Median(cold);
  f.hugeMs = Median(huge);
  f.warmMs = Median(hot);
  return f;
}

std::string FirstLine(const char* path, const char* prefix) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) == 0) return line;
  }
  return {};
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  double a = 0, b = 0, c = 0;
  in >> a >> b >> c;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f %.2f %.2f", a, b, c);
  return buf;
}

void PrintMachine() {
  std::string cpu = FirstLine("/proc/cpuinfo", "model name");
  if (const size_t colon = cpu.find(':'); colon != std::string::npos) cpu = cpu.substr(colon + 2);
  std::string memory = FirstLine("/proc/meminfo", "MemTotal:");
  memory.erase(0, std::min(memory.size(), memory.find_first_of("0123456789")));
  std::string thp = FirstLine("/sys/kernel/mm/transparent_hugepage/enabled", "");
  utsname u{};
  uname(&u);
  std::printf("machine: %s, %ld cores, %s memory, Linux %s, transparent huge pages: %s\n", cpu.c_str(),
              sysconf(_SC_NPROCESSORS_ONLN), memory.c_str(), u.release, thp.c_str());
}

// Runs fn in a child process and waits for it; output is flushed on both sides so that lines stay
// in order.
template <class F>
void InChild(F fn) {
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    fn();
    std::fflush(stdout);
    _exit(0);
  }
  if (pid > 0) waitpid(pid, nullptr, 0);
}

struct Contender {
  std::string name;
  const RunFn* run;
};

void RunCase(const Case& c, double secondsPerCase) {
  // Ours, then each peer by default and like-for-like.
  std::vector<Contender> all{{"pelmor", &c.ours}};
  for (const Peer& p : c.peers) {
    all.push_back({p.name, &p.byDefault});
    if (p.likeForLike) all.push_back({p.name, &p.likeForLike});
  }
  const size_t n = all.size();
  const auto time = c.cpuTime ? CpuMs : TimeMs;
  std::vector<std::vector<double>> times(n);
  std::vector<size_t> produced(n, 0);
  // One warm-up run each, then rounds whose order rotates, so that no decoder always runs after
  // the same one and a noisy moment hits everyone alike.
  for (size_t i = 0; i < n; ++i) time(*all[i].run, &produced[i]);
  auto start = Clock::now();
  size_t rounds = 0;
  while (rounds < 5 || (rounds < 41 && std::chrono::duration<double>(Clock::now() - start).count() <
                                           secondsPerCase)) {
    for (size_t k = 0; k < n; ++k) {
      const size_t i = (rounds + k) % n;
      times[i].push_back(time(*all[i].run, nullptr));
    }
    ++rounds;
  }
  const double ours = Median(times[0]);
  auto cell = [&](size_t i) {
    char buf[64];
    if (produced[i] == 0) return std::string("      failed       ");
    std::snprintf(buf, sizeof buf, "%10.2f  %6.2f", Median(times[i]), produced[0] ? Median(times[i]) / ours : 0.0);
    return std::string(buf);
  };
  char oursText[32] = "failed";
  if (produced[0] != 0) std::snprintf(oursText, sizeof oursText, "%.2f", ours);
  char floorText[64] = "(cpu time)";
  if (!c.cpuTime) {
    const Floor f = MeasureFloor(c.floorBytes ? c.floorBytes : produced[0], 5);
    std::snprintf(floorText, sizeof floorText, "%.2f / %.2f / %.2f", f.coldMs, f.hugeMs, f.warmMs);
  }
  if (c.peers.empty()) {
    std::printf("%-30s %9s   %-14s %18s   %18s   %s\n", c.label.c_str(), oursText, "", "", "", floorText);
  }
  size_t i = 1;
  for (size_t p = 0; p < c.peers.size(); ++p) {
    const std::string byDefault = cell(i++);
    const std::string likeForLike = c.peers[p].likeForLike ? cell(i++) : std::string(18, ' ');
    std::printf("%-30s %9s   %-14s %18s   %18s   %s\n", p == 0 ? c.label.c_str() : "", p == 0 ? oursText : "",
                c.peers[p].name.c_str(), byDefault.c_str(), likeForLike.c_str(), p == 0 ? floorText : "");
  }
  std::printf("%-30s %9s   (%zu rounds)\n", "", "", rounds);
  // CPU time is stretched by whatever else shares the caches meanwhile, never shrunk: on a loaded
  // machine the fastest run of each is the steadier figure.
  if (c.cpuTime && produced[0] != 0) {
    const double fastest = *std::min_element(times[0].begin(), times[0].end());
    std::printf("%-30s %9.2f", "  fastest runs", fastest);
    for (size_t k = 1; k < n; ++k) {
      const double peer = *std::min_element(times[k].begin(), times[k].end());
      std::printf("   %-14s %10.2f  %6.2f", all[k].name.c_str(), peer, peer / fastest);
    }
    std::printf("\n");
  }
}

}  // namespace

OutputBuffer::OutputBuffer(size_t size, Memory memory) {
  if (memory == Memory::kOurs) {
    block_ = ImageBlock::Allocate(Budget(), size);
    data_ = block_.Data();
  } else {
    data_ = static_cast<uint8_t*>(std::malloc(size));
    malloced_ = true;
  }
}

OutputBuffer::~OutputBuffer() {
  if (malloced_) std::free(data_);
}

MemoryBudget& Budget() {
  static MemoryBudget budget;
  return budget;
}

std::vector<SectionEntry>& Sections() {
  static std::vector<SectionEntry> sections;
  return sections;
}

Section::Section(const char* name, SectionFn fn) { Sections().push_back({name, fn}); }

std::vector<PeerSource>& PeerSources() {
  static std::vector<PeerSource> sources;
  return sources;
}

std::string Session::Image(const std::string& name) {
  std::filesystem::path p = std::filesystem::path(dataDir_) / name;
  if (std::filesystem::exists(p)) return p.string();
  Skip(name, "not generated (run bench/make_images.sh)");
  return {};
}

void Session::Skip(const std::string& what, const std::string& why) {
  skipped_.push_back(what + ": " + why);
}

RunFn OursOpen(const std::string& path, bool allImages) {
  return [path, allImages]() -> size_t {
    CImageDoc doc;
    if (!doc.Open(path.c_str(), 0)) return 0;
    size_t produced = doc.block.Size();
    while (allImages && doc.currentImage + 1 < doc.imageCount) {
      if (!doc.NextImage()) return 0;
      produced += doc.block.Size();
    }
    return produced;
  };
}

bool OursReads(const char* format) {
  CImageDoc doc;
  for (CodecId id : {CodecId::kBmp, CodecId::kJpeg, CodecId::kGif, CodecId::kTiff, CodecId::kPng,
                     CodecId::kTga}) {
    if (std::strcmp(CodecName(id), format) == 0) return doc.Codec(id) != nullptr;
  }
  return false;
}

void Session::RunAll(const std::string& filter, double secondsPerCase) {
  for (const std::string& s : skipped_) {
    if (s.find(filter) != std::string::npos) std::printf("skipped  %s\n", s.c_str());
  }
  for (const Case& c : cases_) {
    if (c.label.find(filter) == std::string::npos) continue;
    InChild([&] { RunCase(c, secondsPerCase); });
  }
}

}  // namespace pelmor::bench

int main(int argc, char** argv) {
  std::string filter;
  std::vector<std::string> sections;  // none: every section
  std::string dir;
  double seconds = 2.0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--only" && i + 1 < argc) {
      filter = argv[++i];
    } else if (a == "--section" && i + 1 < argc) {
      sections.push_back(argv[++i]);
    } else if (a == "--seconds" && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (a == "--help") {
      std::printf("usage: pelmor_bench [--only TEXT] [--section NAME]... [--seconds S] DATA_DIR\n");
      return 0;
    } else {
      dir = a;
    }
  }
  if (dir.empty()) {
    std::fprintf(stderr, "usage: pelmor_bench [--only TEXT] [--section NAME]... [--seconds S] DATA_DIR\n");
    return 2;
  }
  using namespace pelmor::bench;
  PrintMachine();
  std::printf("load average at start: %s\n", LoadAverage().c_str());
  std::printf("Each case runs in a fresh process. Ratio: peer / ours, above 1 we are faster. Default: the\n"
              "peer's output where its users would put it (malloc); like-for-like: in memory from our\n"
              "allocator. The floor copies the decoded size into fresh pages / fresh huge pages / warm.\n");
  std::printf("%-30s %9s   %-14s %18s   %18s   %s\n", "case", "ours ms", "peer", "default ms  ratio",
              "like-for-like  ratio", "memcpy floor ms");
  // Each section sets up its inputs in a process of its own.
  for (const SectionEntry& s : Sections()) {
    if (!sections.empty() && std::find(sections.begin(), sections.end(), s.name) == sections.end()) {
      continue;  // not asked for: not even set up
    }
    InChild([&] {
      Session session(dir);
      s.fn(session);
      session.RunAll(filter, seconds);
    });
  }
  std::printf("load average at end: %s\n", LoadAverage().c_str());
  return 0;
}
