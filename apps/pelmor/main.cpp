// pelmor: the command-line host of the image viewer's document and controls.
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
    "               [--frame N] [--back-color RRGGBB] [--ambient RRGGBB] [--caption TEXT]\n"
    "               [--fore-color RRGGBB] [--control 1|2]\n"
    "      Puts a control (the second one by default) in a window of W x H pixels, opens IN in\n"
    "      it (image N) and lets it paint as it shows itself: the window is filled with the\n"
    "      ambient colour (default FFFFFF), the image is placed by the alignments (0 left/top,\n"
    "      1 center, 2 right/bottom; default 0) and stretched to fit keeping its aspect ratio\n"
    "      (--stretch, the default) or shown at its own size unless it is too large\n"
    "      (--no-stretch). The control's BackColor (--back-color, default FFFFFF) is what GIF\n"
    "      and PNG transparency shows. When IN does not open, the window shows the caption\n"
    "      (--caption, in --fore-color, default the window text colour) and is written all the\n"
    "      same. The window's pixels are written to OUT as a 24-bit image; OUT's extension\n"
    "      picks the writer as for convert.\n"
    "      Exit codes as for convert.\n"
    "\n"
    "  pelmor control [--control 1|2] [--size WxH] [--user-mode 0|1] STEP...\n"
    "      Drives a control (default 2) in a window of W x H pixels (default 320x240) through\n"
    "      its dispatch interface, as a script does, one step after the other:\n"
    "        set NAME VALUE      put a property by name (any case; Font.Size reaches the font)\n"
    "        get NAME            get a property by name\n"
    "        call NAME [ARG...]  call a method; it takes as many arguments as it has parameters\n"
    "        paint OUT           repaint the window and write its pixels (writer by extension)\n"
    "        wait MS             let MS milliseconds pass (an animation plays on)\n"
    "        key CODE            a key pressed in the window (virtual-key code: 0x21 Page Up,\n"
    "                            0x22 Page Down, 0x23 End, 0x24 Home, 0x25-0x28 the arrows)\n"
    "        wheel DELTA         the wheel turned by DELTA 120ths of a notch (positive: up)\n"
    "        hscroll CODE [POS]  a horizontal scroll bar request (0 line left, 1 line right,\n"
    "        vscroll CODE [POS]  2 page left, 3 page right, 4 thumb let go, 5 thumb dragged,\n"
    "                            6 start, 7 end, 8 end of scrolling; up and down for vscroll);\n"
    "                            POS drags the thumb there first\n"
    "        resize WxH          the container gives the window a new outer size\n"
    "        scrollinfo          the bars and the client area, as the value:\n"
    "                            {\"horizontal\": {\"min\": 0, \"max\": 300, \"page\": 200,\n"
    "                            \"pos\": 0, \"visible\": true}, \"vertical\": {...},\n"
    "                            \"client\": [W, H]}\n"
    "        save-stream FILE    save the control's state to FILE as a stream of bytes\n"
    "        load-stream FILE    load the control's state from such a FILE\n"
    "        save-bag FILE       save the control's named properties to FILE as text\n"
    "        load-bag FILE       load the control's named properties from such a FILE\n"
    "      CODE, DELTA and POS are decimal or 0x hex integers.\n"
    "      VALUE and ARG: true or false; a decimal or 0x hex integer; a decimal number; anything\n"
    "      else is text. --user-mode 0 puts the control in a designer (no animation).\n"
    "      Prints one JSON line per step:\n"
    "        {\"step\": N, \"op\": \"get\", \"name\": \"NImages\", \"hr\": \"0x00000000\", \"value\": 4}\n"
    "      step counts from 1; hr is the call's result (an automation error's own code, such\n"
    "      as 0x800A017F for setting a read-only property); value is what a get or call\n"
    "      returned (strings as JSON strings, bytes that are not UTF-8 as \\udcXX escapes, the\n"
    "      font as an object of its properties), or null.\n"
    "      The save and load steps give 0x80040201 (generic archive error), 0x80040202 (the\n"
    "      stream ends early) or 0x80040203 (the state is not well formed) when the state is\n"
    "      refused, 0x80004005 when FILE cannot be read or written.\n"
    "      Exit 0 when every step ran (whatever the results), 2 on a usage error.\n"
    "\n"
    "  pelmor play IN OUTDIR [--size WxH] [--frames N]\n"
    "      Plays IN in the second control in a window of W x H pixels (default: the image's\n"
    "      size) and writes N frames (default: every image and the first again) as the control\n"
    "      painted them: OUTDIR/frame-0001.bmp the image shown after the open, then each frame\n"
    "      the animation worker painted, in order. The worker's time moves on by its waits, so\n"
    "      the command does not wait out the delays. OUTDIR/frames.json lists the frames, one\n"
    "      object each, which are also printed one per line:\n"
    "        {\"file\": \"frame-0001.bmp\", \"currentImage\": 0, \"ms\": 0}\n"
    "      currentImage is the image painted; ms the milliseconds since the open. A still\n"
    "      image, or a file that is not animated, has one frame.\n"
    "      Exit 0 when the frames are written, 1 when IN did not open or stopped showing\n"
    "      frames, 3 when a frame or the list could not be written, 2 on a usage error.\n"
    "\n"
    "  pelmor register [MODULE]\n"
    "  pelmor unregister [MODULE]\n"
    "      Loads the module (default: the installed libpelmor.so) and calls its\n"
    "      DllRegisterServer or DllUnregisterServer, which write or remove its classes, ProgIDs\n"
    "      and type library in the registry store ($PELMOR_REGISTRY, else\n"
    "      $XDG_DATA_HOME/pelmor/registry, else ~/.local/share/pelmor/registry). Prints the\n"
    "      result code. Exit 0 on S_OK, 1 on a failure code or when the module did not load\n"
    "      (the reason on stderr), 2 on a usage error.\n"
    "\n"
    "  pelmor typelib\n"
    "      Prints the module's type library, PELMORLib, as IDL.\n"
    "\n"
    "  pelmor script FILE.js [--show] [--timeout SECONDS] [--size WxH] [ARG...]\n"
    "      Runs a script that drives the controls as an automation host does:\n"
    "      createObject(\"PELMOR.PelmorCtrl.2\") finds the class in the registry store and loads\n"
    "      its module; properties and methods go by name (any case). console.log(...) prints a\n"
    "      line. host.paint(control, FILE) writes the control's window as an image,\n"
    "      host.resize(control, W, H) sizes it (default WxH, 320x240), host.sleep(MS) waits,\n"
    "      host.args holds the ARGs. A failed call throws an Error with hresult and code (for\n"
    "      example 383 when a read-only property is set; 0x80020006 for an unknown name).\n"
    "      Exit 0 when the script ran to its end, 1 when it threw (the error on stderr), 2 on a\n"
    "      usage error or a script that cannot be read, 3 when it ran longer than SECONDS.\n"
    "      --show puts each control in a window on the screen; after the script the windows\n"
    "      stay until they are closed (or SECONDS have passed since the start).\n"
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
    if (command == "control") return RunControl(args);
    if (command == "play") return RunPlay(args);
    if (command == "register") return RunRegister(args, true);
    if (command == "unregister") return RunRegister(args, false);
    if (command == "typelib") return RunTypelib(args);
    if (command == "script") return RunScript(args);
#ifdef PELMOR_HAVE_VIEW
    if (command == "view") return RunView(args, argv[0]);
#endif
    throw UsageError{"unknown command '" + command + "'"};
  } catch (const UsageError& e) {
    std::fprintf(stderr, "pelmor: %s (see pelmor --help)\n", e.message.c_str());
    return kExitUsage;
  }
}
