// The benchmark harness: decodes the same files with our document and with the libraries people
// would use instead, and prints medians and ratios. It asserts nothing.
//
// Every case runs in a process of its own, forked from its section's process once the section has
// set up its inputs, so that no case inherits the heap or the page cache state another one left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/image_block.h"

namespace pelmor::bench {

// One decoder run: decodes into memory it allocates itself and returns the number of bytes it
// produced (0 on failure), which also keeps the work from being optimised away.
using RunFn = std::function<size_t()>;

// The budget every block the benchmark allocates is drawn from (the default cap; blocks are given
// back after each run).
MemoryBudget& Budget();

// Where a peer's output goes: the memory its users would give it by default (malloc, or the
// library's own allocation), or memory from the allocator our decoders draw from.
enum class Memory : uint8_t { kDefault, kOurs };

// The output of one peer run, from the chosen allocator. Ours is ImageBlock::Allocate, as for our
// decoders' images (zero-filled, large blocks mapped fresh with huge pages), on Budget().
class OutputBuffer {
 public:
  OutputBuffer(size_t size, Memory memory);
  ~OutputBuffer();
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;
  uint8_t* Data() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  ImageBlock block_;
  uint8_t* data_ = nullptr;
  bool malloced_ = false;
};

// A peer library measured twice: as its users call it, and like-for-like (its output in memory
// from our allocator). likeForLike is empty where the library allocates its output itself.
struct Peer {
  std::string name;
  RunFn byDefault;
  RunFn likeForLike;
};

struct Case {
  std::string label;      // e.g. "png rgb8.png"
  size_t floorBytes = 0;  // decoded size for the memcpy floor; 0: taken from our run
  // Timed by the process's CPU time (every thread's) instead of the wall clock, for runs that
  // mostly wait (an animation playing at its own pace); no memcpy floor is printed for them.
  bool cpuTime = false;
  RunFn ours;
  std::vector<Peer> peers;
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

  // Runs and prints, each in a child process, every case whose label contains filter.
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

// Further peers for a format's whole-file cases, from code built only when an optional library is
// there (Qt's reader): given the format (as in `pelmor --formats`), the file and whether every
// image is decoded, a peer or nothing. Sources register themselves at start-up.
using PeerSource = std::optional<Peer> (*)(const char* format, const std::string& path,
                                           bool allImages);
std::vector<PeerSource>& PeerSources();
struct PeerSourceEntry {
  explicit PeerSourceEntry(PeerSource source) { PeerSources().push_back(source); }
};

// Our decoder through the document: opens the file at image 0 and, when allImages is set, steps
// through every further image in turn, as a viewer playing an animation does.
RunFn OursOpen(const std::string& path, bool allImages = false);
// Whether the document has a reader for the format named as in `pelmor --formats`.
bool OursReads(const char* format);

}  // namespace pelmor::bench
