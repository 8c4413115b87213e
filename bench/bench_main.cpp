// pelmor_bench [--only TEXT] [--seconds S] DATA_DIR
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

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
      auto* dst = static_cast<uint8_t*>(std::malloc(bytes));
      std::memcpy(dst, src.data(), bytes);
      size_t last = dst[bytes - 1];
      std::free(dst);
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

}  // namespace

std::vector<SectionEntry>& Sections() {
  static std::vector<SectionEntry> sections;
  return sections;
}

Section::Section(const char* name, SectionFn fn) { Sections().push_back({name, fn}); }

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
  std::printf("%-34s %12s   %-44s %s\n", "case", "ours ms", "peers ms (ratio peer/ours, >1: we are faster)",
              "memcpy floor ms (fresh / huge pages / warm)");
  for (Case& c : cases_) {
    if (c.label.find(filter) == std::string::npos) continue;
    std::vector<Contender*> all{&c.ours};
    for (Contender& p : c.peers) all.push_back(&p);
    std::vector<std::vector<double>> times(all.size());
    std::vector<size_t> produced(all.size(), 0);
    // One warm-up run each, then interleaved rounds so that a noisy moment hits everyone alike.
    for (size_t i = 0; i < all.size(); ++i) TimeMs(all[i]->run, &produced[i]);
    auto start = Clock::now();
    int rounds = 0;
    while (rounds < 5 || (rounds < 41 && std::chrono::duration<double>(Clock::now() - start).count() <
                                             secondsPerCase)) {
      for (size_t i = 0; i < all.size(); ++i) times[i].push_back(TimeMs(all[i]->run, nullptr));
      ++rounds;
    }
    const double ours = Median(times[0]);
    std::string peers;
    char buf[160];
    for (size_t i = 1; i < all.size(); ++i) {
      const double t = Median(times[i]);
      if (produced[i] == 0) {
        std::snprintf(buf, sizeof buf, "%s failed  ", all[i]->name.c_str());
      } else {
        std::snprintf(buf, sizeof buf, "%s %.2f (%.2f)  ", all[i]->name.c_str(), t,
                      produced[0] ? t / ours : 0.0);
      }
      peers += buf;
    }
    size_t floorBytes = c.floorBytes ? c.floorBytes : produced[0];
    Floor f = MeasureFloor(floorBytes, 5);
    std::string oursText = "failed";
    if (produced[0] != 0) {
      std::snprintf(buf, sizeof buf, "%.2f", ours);
      oursText = buf;
    }
    std::printf("%-34s %12s   %-44s %.2f / %.2f / %.2f\n", c.label.c_str(), oursText.c_str(),
                peers.c_str(), f.coldMs, f.hugeMs, f.warmMs);
    std::fflush(stdout);
  }
}

}  // namespace pelmor::bench

int main(int argc, char** argv) {
  std::string filter;
  std::string dir;
  double seconds = 2.0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--only" && i + 1 < argc) {
      filter = argv[++i];
    } else if (a == "--seconds" && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (a == "--help") {
      std::printf("usage: pelmor_bench [--only TEXT] [--seconds S] DATA_DIR\n");
      return 0;
    } else {
      dir = a;
    }
  }
  if (dir.empty()) {
    std::fprintf(stderr, "usage: pelmor_bench [--only TEXT] [--seconds S] DATA_DIR\n");
    return 2;
  }
  pelmor::bench::Session session(dir);
  for (const auto& s : pelmor::bench::Sections()) s.fn(session);
  session.RunAll(filter, seconds);
  return 0;
}
