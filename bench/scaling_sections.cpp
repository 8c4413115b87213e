// Drawing a large image smaller, as a viewer does most: our HALFTONE StretchDIBits against an exact
// area average written as a plain scalar loop and, for an integer factor, Pillow's Image.reduce;
// and the document's Draw with halftone off, whose second paint of a size reuses its copy.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

#include "bench.h"
#include "model/image_doc.h"
#include "platform/stretch_dib.h"

namespace pelmor::bench {

namespace {

using namespace platform;

// The exact area average as one would write it plainly: integer overlap weights per axis, then
// for every destination pixel the weighted sum of every source pixel under it, rounded.
size_t ScalarAreaAverage(const CImageDoc& doc, int32_t dw, int32_t dh) {
  struct Axis {
    std::vector<int64_t> start, count, offset, weight;
    int64_t units = 1;
  };
  auto build = [](int64_t s, int64_t d) {
    Axis a;
    const int64_t g = std::gcd(s, d), su = s / g, du = d / g;
    a.units = su;
    for (int64_t i = 0; i < d; ++i) {
      const int64_t b = i * su, e = b + su, j0 = b / du, j1 = (e - 1) / du;
      a.start.push_back(j0);
      a.count.push_back(j1 - j0 + 1);
      a.offset.push_back(static_cast<int64_t>(a.weight.size()));
      for (int64_t j = j0; j <= j1; ++j) {
        a.weight.push_back(std::min(e, (j + 1) * du) - std::max(b, j * du));
      }
    }
    return a;
  };
  const int32_t sw = doc.width, sh = doc.height;
  const Axis x = build(sw, dw), y = build(sh, dh);
  const uint32_t stride = DibRowBytes(static_cast<uint32_t>(sw), 24);
  std::vector<uint8_t> out(static_cast<size_t>(dw) * dh * 3);
  const uint64_t d = static_cast<uint64_t>(x.units * y.units);
  for (int32_t r = 0; r < dh; ++r) {
    for (int32_t c = 0; c < dw; ++c) {
      uint64_t sum[3] = {0, 0, 0};
      for (int64_t ty = 0; ty < y.count[r]; ++ty) {
        // Picture row from the top; the DIB is bottom-up.
        const uint8_t* row = doc.bits + static_cast<size_t>(sh - 1 - (y.start[r] + ty)) * stride;
        const uint64_t wy = static_cast<uint64_t>(y.weight[y.offset[r] + ty]);
        for (int64_t tx = 0; tx < x.count[c]; ++tx) {
          const uint8_t* p = row + (x.start[c] + tx) * 3;
          const uint64_t w = wy * static_cast<uint64_t>(x.weight[x.offset[c] + tx]);
          sum[0] += w * p[0];
          sum[1] += w * p[1];
          sum[2] += w * p[2];
        }
      }
      uint8_t* o = &out[(static_cast<size_t>(r) * dw + c) * 3];
      for (int k = 0; k < 3; ++k) o[k] = static_cast<uint8_t>((sum[k] + d / 2) / d);
    }
  }
  return out.size();
}

// Ours: a window-sized bitmap, as each paint makes one, and the whole image stretched into it.
size_t OursHalftone(CImageDoc& doc, int32_t dw, int32_t dh) {
  Surface window = Surface::Create(dw, dh);
  HDC dc = CreateDisplayDC(&window);
  SetStretchBltMode(dc, HALFTONE);
  const int painted = StretchDIBits(dc, 0, 0, dw, dh, 0, 0, doc.width, doc.height, doc.bits,
                                    doc.header, DIB_RGB_COLORS, SRCCOPY,
                                    DibMemory{doc.block.Data(), doc.BlockEnd()});
  DeleteDC(dc);
  return painted != 0 ? static_cast<size_t>(dw) * dh * 4 : 0;
}

// The document's Draw with halftone off; `fresh` drops the cached copy first.
size_t OursDraw(CImageDoc& doc, int32_t dw, int32_t dh, bool fresh) {
  if (fresh) doc.FreeScaledCache();
  Surface window = Surface::Create(dw, dh);
  HDC dc = CreateDisplayDC(&window);
  doc.Draw(dc, 0, 0, static_cast<uint32_t>(dw), static_cast<uint32_t>(dh), true);
  DeleteDC(dc);
  return doc.scaledBits != nullptr ? static_cast<size_t>(dw) * dh * 4 : 0;
}

// Pillow in a Python process of its own, started once with the image loaded; each run asks it for
// one reduction over a pipe and waits for the answer (a round trip of microseconds).
class Pillow {
 public:
  explicit Pillow(const std::string& path) {
    const char* python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0) return;
    if (pipe(fromChild) != 0) {
      close(toChild[0]);
      close(toChild[1]);
      return;
    }
    static const char kScript[] =
        "import sys\n"
        "from PIL import Image\n"
        "im = Image.open(sys.argv[1]).convert('RGB'); im.load()\n"
        "print('ready', flush=True)\n"
        "for line in sys.stdin:\n"
        "    r = im.reduce(int(line))\n"
        "    print(r.size[0] * r.size[1] * 3, flush=True)\n";
    pid_ = fork();
    if (pid_ == 0) {
      dup2(toChild[0], 0);
      dup2(fromChild[1], 1);
      const int null = open("/dev/null", O_WRONLY);
      if (null >= 0) dup2(null, 2);
      close(toChild[1]);
      close(fromChild[0]);
      execlp(python, python, "-c", kScript, path.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    in_ = fdopen(toChild[1], "w");
    out_ = fdopen(fromChild[0], "r");
    char line[64];
    ready_ = pid_ > 0 && in_ != nullptr && out_ != nullptr &&
             std::fgets(line, sizeof line, out_) != nullptr && std::strncmp(line, "ready", 5) == 0;
  }
  ~Pillow() {
    if (in_ != nullptr) std::fclose(in_);
    if (out_ != nullptr) std::fclose(out_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  bool Ready() const { return ready_; }
  size_t Reduce(int factor) {
    if (!ready_) return 0;
    std::fprintf(in_, "%d\n", factor);
    std::fflush(in_);
    char line[64];
    if (std::fgets(line, sizeof line, out_) == nullptr) return 0;
    return static_cast<size_t>(std::strtoull(line, nullptr, 10));
  }

 private:
  pid_t pid_ = -1;
  FILE* in_ = nullptr;
  FILE* out_ = nullptr;
  bool ready_ = false;
};

void Scaling(Session& s) {
  const std::string path = s.Image("rgb24.bmp");
  if (path.empty()) return;
  auto doc = std::make_shared<CImageDoc>();
  if (!doc->Open(path.c_str(), 0) || doc->header->biBitCount != 24) {
    s.Skip("scale", "rgb24.bmp does not open as a 24-bit image");
    return;
  }
  const size_t sourceBytes = size_t{DibRowBytes(static_cast<uint32_t>(doc->width), 24)} * doc->height;
  auto pillow = std::make_shared<Pillow>(path);
  if (!pillow->Ready()) s.Skip("scale pillow", "python3 with PIL (python3-pil) is not available");

  for (auto [w, h] : {std::pair{1280, 960}, std::pair{800, 600}}) {
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    Case c;
    c.label = "scale halftone " + size;
    c.floorBytes = sourceBytes;
    c.ours = [doc, w, h] { return OursHalftone(*doc, w, h); };
    c.peers.push_back({"scalar-area", [doc, w, h] { return ScalarAreaAverage(*doc, w, h); }, {}});
    if (pillow->Ready() && doc->width % w == 0 && doc->height % h == 0 &&
        doc->width / w == doc->height / h) {
      const int factor = doc->width / w;
      c.peers.push_back({"pillow-reduce", [pillow, factor] { return pillow->Reduce(factor); }, {}});
    }
    s.Add(std::move(c));
  }
  // Halftone off: the first paint of a size builds the down-scaled copy, later ones reuse it.
  auto smooth = std::make_shared<CImageDoc>();
  if (smooth->Open(path.c_str(), 0)) {
    smooth->halftoneStretch = false;
    Case c;
    c.label = "scale draw 800x600 repaint";
    c.floorBytes = sourceBytes;
    c.ours = [smooth] { return OursDraw(*smooth, 800, 600, false); };
    c.peers.push_back({"first-paint", [smooth] { return OursDraw(*smooth, 800, 600, true); }, {}});
    s.Add(std::move(c));
  }
}

const Section kScaling("scale", Scaling);

}  // namespace

}  // namespace pelmor::bench
