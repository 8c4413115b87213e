// The benchmark harness: decodes the same files with our document and with the libraries people
// would use instead, in one run, and prints medians and ratios. It asserts nothing.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace pelmor::bench {

// One decoder run: decodes into memory it allocates itself and returns the number of bytes it
// produced (0 on failure), which also keeps the work from being optimised away.
using RunFn = std::function<size_t()>;

struct Contender {
  std::string name;
  RunFn run;
};

struct Case {
  std::string label;     // e.g. "png rgb8.png"
  size_t floorBytes = 0;  // decoded size for the memcpy floor; 0: taken from the first contender
  Contender ours;
  std::vector<Contender> peers;
};

class Session {
 public:
  explicit Session(std::string dataDir) : dataDir_(std::move(dataDir)) {}
  // Path of a generated benchmark image; empty (with a line saying so) when it is missing.
  std::string Image(const std::string& name);
  void Add(Case c) { cases_.push_back(std::move(c)); }
  // A line saying why something is not measured.
  void Skip(const std::string& what, const std::string& why);
  const std::string& DataDir() const { return dataDir_; }

  // Runs and prints every case whose label contains filter.
  void RunAll(const std::string& filter, double secondsPerCase);

 private:
  std::string dataDir_;
  std::vector<Case> cases_;
  std::vector<std::string> skipped_;
};

// A section adds its cases to the session; sections register themselves at start-up.
using SectionFn = void (*)(Session&);
struct Section {
  Section(const char* name, SectionFn fn);
};
struct SectionEntry {
  const char* name;
  SectionFn fn;
};
std::vector<SectionEntry>& Sections();

// Our decoder through the document: opens the file at image 0 and, when allImages is set, steps
// through every further image in turn, as a viewer playing an animation does.
RunFn OursOpen(const std::string& path, bool allImages = false);
// Whether the document has a reader for the format named as in `pelmor --formats`.
bool OursReads(const char* format);

}  // namespace pelmor::bench
