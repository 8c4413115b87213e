// Whole-file decoding of every format: our document against the peers (and whatever further peers
// are built in), on the generated images.
#include "bench.h"
#include "peers.h"

namespace pelmor::bench {

namespace {

// Adds one case when the image exists and our reader for the format is built.
void AddCase(Session& s, const char* format, const std::string& file, bool allImages,
             std::vector<Peer> peers) {
  if (!OursReads(format)) {
    s.Skip(std::string(format) + " " + file, "our reader is not built yet");
    return;
  }
  const std::string path = s.Image(file);
  if (path.empty()) return;
  Case c;
  c.label = std::string(format) + " " + file + (allImages ? " (all frames)" : "");
  c.ours = OursOpen(path, allImages);
  c.peers = std::move(peers);
  for (PeerSource source : PeerSources()) {
    if (auto peer = source(format, path, allImages)) c.peers.push_back(std::move(*peer));
  }
  s.Add(std::move(c));
}

// A peer bound to its file, measured with each allocator.
template <class F>
Peer Bound(const char* name, const std::string& dir, const std::string& file, F f) {
  const std::string path = dir + "/" + file;
  return {name, [path, f] { return f(path, Memory::kDefault); }, [path, f] { return f(path, Memory::kOurs); }};
}

void Bmp(Session& s) {
  AddCase(s, "bmp", "rgb24.bmp", false, {Bound("stb_image", s.DataDir(), "rgb24.bmp", StbLoad)});
}

void Tga(Session& s) {
  for (const char* f : {"rgb24.tga", "rgb24-rle.tga"}) {
    AddCase(s, "tga", f, false, {Bound("stb_image", s.DataDir(), f, StbLoad)});
  }
}

void Png(Session& s) {
  for (const char* f :
       {"rgb8.png", "rgba8.png", "palette.png", "grey8.png", "rgb16.png", "adam7.png"}) {
    AddCase(s, "png", f, false,
            {Bound("libpng", s.DataDir(), f, LibpngRead), Bound("libspng", s.DataDir(), f, SpngRead)});
  }
}

void Gif(Session& s) {
  AddCase(s, "gif", "photo.gif", false,
          {Bound("giflib", s.DataDir(), "photo.gif",
                [](const std::string& p, Memory m) { return GiflibComposite(p, false, m); })});
  AddCase(s, "gif", "anim.gif", true,
          {Bound("giflib", s.DataDir(), "anim.gif",
                [](const std::string& p, Memory m) { return GiflibComposite(p, true, m); })});
}

void Tiff(Session& s) {
  for (const char* f : {"none.tif", "lzw.tif", "lzw-pred.tif", "packbits.tif", "page-g3.tif",
                        "page-g3-2d.tif", "page-g4.tif"}) {
    AddCase(s, "tiff", f, false, {Bound("libtiff", s.DataDir(), f, LibtiffStrips)});
  }
}

void Jpeg(Session& s) {
  for (const char* f : {"colour-q90.jpg", "grey-q90.jpg"}) {
    AddCase(s, "jpeg", f, false, {Bound("libjpeg", s.DataDir(), f, LibjpegDecode)});
  }
}

const Section kBmp("bmp", Bmp);
const Section kTga("tga", Tga);
const Section kPng("png", Png);
const Section kGif("gif", Gif);
const Section kTiff("tiff", Tiff);
const Section kJpeg("jpeg", Jpeg);

}  // namespace

}  // namespace pelmor::bench
