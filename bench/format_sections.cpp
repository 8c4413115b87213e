// Whole-file decoding of every format: our document against the peers, on the generated images.
#include "bench.h"
#include "peers.h"

namespace pelmor::bench {

namespace {

// Adds one case when the image exists and our reader for the format is built.
void AddCase(Session& s, const char* format, const std::string& file, bool allImages,
             std::vector<Contender> peers) {
  if (!OursReads(format)) {
    s.Skip(std::string(format) + " " + file, "our reader is not built yet");
    return;
  }
  const std::string path = s.Image(file);
  if (path.empty()) return;
  Case c;
  c.label = std::string(format) + " " + file + (allImages ? " (all frames)" : "");
  c.ours = {"pelmor", OursOpen(path, allImages)};
  for (Contender& p : peers) {
    RunFn peer = p.run;
    c.peers.push_back({p.name, peer});
  }
  s.Add(std::move(c));
}

// The peers are bound to the path once it is known.
template <class F>
Contender Peer(const char* name, const std::string& dir, const std::string& file, F f) {
  const std::string path = dir + "/" + file;
  return {name, [path, f] { return f(path); }};
}

void Bmp(Session& s) {
  AddCase(s, "bmp", "rgb24.bmp", false, {Peer("stb_image", s.DataDir(), "rgb24.bmp", StbLoad)});
}

void Tga(Session& s) {
  for (const char* f : {"rgb24.tga", "rgb24-rle.tga"}) {
    AddCase(s, "tga", f, false, {Peer("stb_image", s.DataDir(), f, StbLoad)});
  }
}

void Png(Session& s) {
  for (const char* f :
       {"rgb8.png", "rgba8.png", "palette.png", "grey8.png", "rgb16.png", "adam7.png"}) {
    AddCase(s, "png", f, false,
            {Peer("libpng", s.DataDir(), f, LibpngRead), Peer("libspng", s.DataDir(), f, SpngRead)});
  }
}

void Gif(Session& s) {
  AddCase(s, "gif", "photo.gif", false,
          {Peer("giflib", s.DataDir(), "photo.gif",
                [](const std::string& p) { return GiflibComposite(p, false); })});
  AddCase(s, "gif", "anim.gif", true,
          {Peer("giflib", s.DataDir(), "anim.gif",
                [](const std::string& p) { return GiflibComposite(p, true); })});
}

void Tiff(Session& s) {
  for (const char* f : {"none.tif", "lzw.tif", "lzw-pred.tif", "packbits.tif", "page-g3.tif",
                        "page-g3-2d.tif", "page-g4.tif"}) {
    AddCase(s, "tiff", f, false, {Peer("libtiff", s.DataDir(), f, LibtiffStrips)});
  }
}

void Jpeg(Session& s) {
  for (const char* f : {"colour-q90.jpg", "grey-q90.jpg"}) {
    AddCase(s, "jpeg", f, false, {Peer("libjpeg", s.DataDir(), f, LibjpegDecode)});
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
