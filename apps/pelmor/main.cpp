// pelmor: the command-line host of the image viewer's document.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli_options.h"
#include "commands.h"
#ifdef PELMOR_HAVE_VIEW
#include "view_command.h"
#endif

namespace pelmor::cli {

constexpr char kHelpText[] =
    "usage: pelmor COMMAND ...\n"
    "\n"
    "  pelmor info IN [--frame N] [--back-color RRGGBB] [--json]\n"
    "      Opens IN (image N, default 0; the background colour, default FFFFFF, is set first)\n"
    "      and prints what the document holds. --json prints one object with the fields ok,\n"
    "      codec, width, height, bitCount, imageCount, currentImage, delayTime, documentName,\n"
    "      imageDescription, imageCopyright and software.\n"
    "      Exit 0 when IN opened, 1 when it did not, 2 on a usage error.\n"
    "\n"
    "  pelmor convert IN OUT [--frame N] [--back-color RRGGBB] [--ratio R]\n"
    "      Opens IN as above and saves the image to OUT; OUT's extension picks the writer (bmp;\n"
    "      jpg or jpeg; tga). R is the JPEG compression ratio (default 0.9).\n"
    "      Exit 0 when saved, 1 when IN did not open, 3 when the save failed, 2 on a usage\n"
    "      error.\n"
    "\n"
    "  pelmor render IN OUT --size WxH [--stretch|--no-stretch] [--halign N] [--valign N]\n"
    "               [--frame N] [--back-color RRGGBB] [--ambient RRGGBB]\n"
    "      Opens IN as above and paints it as the control shows it in a window of W x H pixels:\n"
    "      the window is filled with the ambient colour (default FFFFFF), the image is placed by\n"
    "      the alignments (0 left/top, 1 center, 2 right/bottom; default 0) and stretched to fit\n"
    "      keeping its aspect ratio (--stretch, the default) or shown at its own size unless it\n"
    "      is too large (--no-stretch). The window's pixels are written to OUT as a 24-bit\n"
    "      image; OUT's extension picks the writer as for convert.\n"
    "      Exit codes as for convert.\n"
    "\n"
    "  pelmor view [FILE]\n"
    "      Opens a window showing FILE (when given) with the second control: open, save as\n"
    "      BMP, JPEG or TGA, frames and pages, slide show, scrolling, stretching, alignment,\n"
    "      properties and About. Needs a display (Qt picks it from the environment).\n"
    "\n"
    "  pelmor --formats\n"
    "      Lists the formats this build reads, one short name per line.\n"
    "\n"
    "  pelmor --help\n"
    "      Prints this text.\n"
    "\n"
    "The format of IN is chosen by its extension first, then by trying every reader in the\n"
    "order bmp, jpeg, gif, tiff, png, tga. A name without a dot never opens.\n";

}  // namespace pelmor::cli

int main(int argc, char** argv) {
  using namespace pelmor::cli;
  if (argc < 2) {
    std::fputs(kHelpText, stderr);
    return kExitUsage;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kHelpText, stdout);
    return kExitOk;
  }
  if (command == "--formats") return PrintFormats();
  const std::vector<std::string> args(argv + 2, argv + argc);
  try {
    if (command == "info") return RunInfo(args);
    if (command == "convert") return RunConvert(args);
    if (command == "render") return RunRender(args);
#ifdef PELMOR_HAVE_VIEW
    if (command == "view") return RunView(args, argv[0]);
#endif
    throw UsageError{"unknown command '" + command + "'"};
  } catch (const UsageError& e) {
    std::fprintf(stderr, "pelmor: %s (see pelmor --help)\n", e.message.c_str());
    return kExitUsage;
  }
}
