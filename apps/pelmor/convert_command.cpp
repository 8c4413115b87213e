// pelmor convert IN OUT [--frame N] [--back-color RRGGBB] [--ratio R]
#include <cstdio>
#include <string>

#include "cli_options.h"
#include "commands.h"

namespace pelmor::cli {

int RunConvert(const std::vector<std::string>& args) {
  Arguments a(args, {"frame", "back-color", "ratio"}, {});
  if (a.Positional().size() != 2) throw UsageError{"convert takes an input and an output file"};
  const std::string& in = a.Positional()[0];
  const std::string& out = a.Positional()[1];
  const int32_t frame = a.IntOr("frame", 0);
  const uint32_t back = a.ColorOr("back-color", 0xFFFFFF);
  const float ratio = a.FloatOr("ratio", 0.9f);

  CImageDoc doc;
  if (!OpenDocument(doc, in, frame, back)) {
    std::fprintf(stderr, "pelmor: %s cannot be opened as an image\n", in.c_str());
    return kExitNotOpened;
  }
  doc.compressionRatio = ratio;
  if (!doc.Save(out.c_str())) {
    std::fprintf(stderr, "pelmor: %s could not be written (the extension picks bmp, jpg/jpeg or tga)\n",
                 out.c_str());
    return kExitSaveFailed;
  }
  return kExitOk;
}

}  // namespace pelmor::cli
