// A control driven through its dispatch interface by whatever the input says: which control,
// the window's size, then a sequence of calls (member by table position or by a name in any case,
// or a name that does not exist; access flags; zero to three arguments of every variant type) mixed
// with paints, resizes, setting changes, scroll positions and calls on the font object. File names
// come from the project's samples, a scratch folder (for saving) or the input itself. Every call
// must end in a result code, never a crash, a hang or a leak.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "control/headless_control.h"
#include "fuzz_driver.h"
#include "platform/window/window_message.h"

namespace {

using namespace pelmor;
using namespace pelmor::ole;
namespace fs = std::filesystem;

std::vector<std::string> samples;
std::string scratch;

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool More() const { return pos_ < size_; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | Byte();
    return v;
  }
  // Up to n bytes of the input as text.
  std::string Text(size_t n) {
    std::string s;
    const size_t len = std::min<size_t>(Byte() % (n + 1), size_ - pos_);
    s.assign(reinterpret_cast<const char*>(data_ + pos_), len);
    pos_ += len;
    return s;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// A string argument: a sample file, a file in the scratch folder (whose extension may pick a
// writer), or text from the input. Nothing names a place outside those two folders.
std::u16string StringArg(Input& in) {
  static const char* const kExtensions[] = {".bmp", ".jpg", ".jpeg", ".tga", ".gif", ".png", ".tif", ""};
  const uint8_t kind = in.Byte() % 4;
  std::string bytes;
  if (kind == 0 && !samples.empty()) {
    bytes = samples[in.Byte() % samples.size()];
  } else if (kind == 1) {
    std::string name = in.Text(12);
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), '\0', '_');
    bytes = scratch + "/f" + name + kExtensions[in.Byte() % std::size(kExtensions)];
  } else if (kind == 2) {
    bytes = "";
  } else {
    std::string text = in.Text(40);
    std::replace(text.begin(), text.end(), '/', '_');
    bytes = scratch + "/" + text;
  }
  return Variant::Text(bytes).GetBstr();
}

Variant Arg(Input& in, CPelmorCtrl& control) {
  switch (in.Byte() % 11) {
    case 0: return Variant();
    case 1: return Variant::I2(static_cast<int16_t>(in.U32()));
    case 2: return Variant::I4(static_cast<int32_t>(in.U32()));
    case 3: return Variant::UI4(in.U32());
    case 4: {
      const uint32_t bits = in.U32();
      float f;
      std::memcpy(&f, &bits, sizeof f);
      return Variant::R4(f);
    }
    case 5: return Variant::R8(static_cast<double>(static_cast<int32_t>(in.U32())) / 7.0);
    case 6: return Variant::Bool(in.Byte() & 1);
    case 7: return Variant::Bstr(StringArg(in));
    case 8: return Variant::Dispatch(in.Byte() & 1 ? control.GetFontObject() : nullptr);
    case 9: return Variant::Missing();
    default: return Variant::Error(static_cast<HRESULT>(in.U32()));
  }
}

std::string ScrambleCase(Input& in, std::string name) {
  const uint8_t mask = in.Byte();
  for (size_t i = 0; i < name.size(); ++i) {
    if ((mask >> (i % 8)) & 1) name[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
    else name[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
  }
  return name;
}

void CallMember(Input& in, DispatchObject& object, CPelmorCtrl& control) {
  const DispatchTable& table = object.GetDispatchTable();
  const uint8_t pick = in.Byte();
  DISPID id = static_cast<DISPID>(static_cast<int32_t>(in.U32()));
  if (pick % 4 != 0) {
    const DispEntry& e = table.entries[pick % table.count];
    if (FAILED(object.GetIDsOfNames(ScrambleCase(in, e.name), id))) return;
  } else if (pick % 8 == 4) {
    object.GetIDsOfNames(in.Text(16), id);
  }
  const uint16_t flags = in.Byte() & 0xF;
  std::vector<Variant> args(in.Byte() % 4);
  for (Variant& a : args) a = Arg(in, control);
  Variant result;
  ExcepInfo excep;
  uint32_t argErr = 0;
  object.Invoke(id, flags, args, in.Byte() & 1 ? &result : nullptr, &excep, &argErr);
}

void Run(Input& in) {
  HeadlessControl hc;
  static platform::FixedFontEngine fixed;
  const uint8_t setup = in.Byte();
  if (setup & 1) hc.host.fontEngine = &fixed;
  hc.host.ambientUserMode = (setup & 2) == 0;
  hc.host.allowResize = (setup & 4) == 0;
  hc.host.maxSide = 600;
  if (setup & 8) hc.host.ambientBackColor = in.U32();
  const int generation = 1 + (setup >> 4 & 1);
  if (!hc.Create(generation, in.Byte() % 300, in.Byte() % 200)) return;
  for (int step = 0; step < 48 && in.More(); ++step) {
    CPelmorCtrl& control = hc.Control();
    switch (in.Byte() % 10) {
      case 0:
      case 1:
      case 2:
      case 3:
        CallMember(in, control, control);
        break;
      case 4:
        CallMember(in, *control.GetFontObject(), control);
        break;
      case 5:
        control.InvalidateControl(nullptr, in.Byte() & 1);
        hc.host.Paint();
        break;
      case 6:
        hc.host.Window().SetSize(in.Byte() % 300, in.Byte() % 200);
        break;
      case 7: {
        platform::SCROLLINFO info;
        info.fMask = in.Byte() & 0x1F;
        info.nMin = static_cast<int32_t>(in.U32());
        info.nMax = static_cast<int32_t>(in.U32());
        info.nPage = in.U32();
        info.nPos = static_cast<int32_t>(in.U32());
        hc.host.Window().SetScrollInfo(in.Byte() & 1, info, true);
        break;
      }
      case 8:
        control.SendMessage(in.Byte() & 1 ? platform::WM_SETTINGCHANGE : platform::WM_SIZE,
                            platform::SIZE_MINIMIZED, 0);
        break;
      default:
        if (in.Byte() % 4 == 0) {
          hc.Destroy();
          if (!hc.Create(generation, in.Byte() % 300, in.Byte() % 200)) return;
        } else {
          control.UpdateLayout();
        }
        break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  pelmor::fuzz::LimitImageAllocations();
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(PELMOR_SOURCE_DIR) / "samples", ec)) {
    if (entry.path().extension() != ".md") samples.push_back(entry.path().string());
  }
  std::sort(samples.begin(), samples.end());
  const char* dir = std::getenv("TMPDIR");
  scratch = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/pelmor-dispatch-" +
            std::to_string(::getpid());
  fs::create_directories(scratch, ec);
  std::atexit([] {
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  Run(in);
  // Files saved by this input go, so that the next one starts from an empty folder.
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(scratch, ec)) fs::remove(entry.path(), ec);
  return 0;
}
