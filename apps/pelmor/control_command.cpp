// pelmor control [--control 1|2] [--size WxH] [--user-mode 0|1] STEP...
// Drives one control in a headless window through its dispatch interface, as a script would, and
// prints one JSON line per step.
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "cli_options.h"
#include "commands.h"
#include "control/dispatch_tables.h"
#include "control/headless_control.h"
#include "input_steps.h"
#include "platform/file.h"
#include "platform/ole/archive.h"
#include "platform/ole/text_property_bag.h"
#include "variant_json.h"
#include "window_image.h"

namespace pelmor::cli {

namespace {

using namespace ole;

struct Step {
  std::string op;
  std::string name;
  std::vector<std::string> args;
};

// true/false; a decimal integer (I4, or UI4 above its range, else R8); 0x and up to eight hex
// digits (UI4); a decimal real (R8); anything else is text.
Variant ParseValue(const std::string& text) {
  if (text == "true") return Variant::Bool(true);
  if (text == "false") return Variant::Bool(false);
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && text.size() <= 10) {
    uint32_t v = 0;
    const auto [p, ec] = std::from_chars(begin + 2, end, v, 16);
    if (ec == std::errc() && p == end) return Variant::UI4(v);
  }
  if (!text.empty() && text.find_first_not_of("+-0123456789") == std::string::npos) {
    const char* start = text[0] == '+' ? begin + 1 : begin;
    int64_t v = 0;
    const auto [p, ec] = std::from_chars(start, end, v);
    if (ec == std::errc() && p == end) {
      if (v >= INT32_MIN && v <= INT32_MAX) return Variant::I4(static_cast<int32_t>(v));
      if (v >= 0 && v <= UINT32_MAX) return Variant::UI4(static_cast<uint32_t>(v));
      return Variant::R8(static_cast<double>(v));
    }
  }
  if (!text.empty() && text.find_first_not_of("+-.0123456789eE") == std::string::npos) {
    const char* start = text[0] == '+' ? begin + 1 : begin;
    double v = 0;
    const auto [p, ec] = std::from_chars(start, end, v);
    if (ec == std::errc() && p == end) return Variant::R8(v);
  }
  return Variant::Text(text);
}

// The object a dotted name's last part belongs to ("Font.Size": the control's Font), and that
// part. hr reports a step on the way that failed.
struct Target {
  DispatchPtr holder;  // keeps an intermediate object alive
  DispatchObject* object = nullptr;
  std::string member;
  InvokeResult failure;
};

Target Resolve(DispatchObject& root, const std::string& name) {
  Target t;
  t.object = &root;
  size_t start = 0;
  for (size_t dot = name.find('.'); dot != std::string::npos; dot = name.find('.', start)) {
    InvokeResult r = InvokeByName(*t.object, name.substr(start, dot - start), DISPATCH_PROPERTYGET);
    if (FAILED(r.hr) || r.value.Type() != VT_DISPATCH || r.value.GetDispatch() == nullptr) {
      if (SUCCEEDED(r.hr)) r.hr = DISP_E_TYPEMISMATCH;
      t.object = nullptr;
      t.failure = std::move(r);
      return t;
    }
    t.holder = r.value.GetDispatch();
    t.object = t.holder.get();
    start = dot + 1;
  }
  t.member = name.substr(start);
  return t;
}

InvokeResult Invoke(DispatchObject& root, const std::string& name, uint16_t flags,
                    const std::vector<Variant>& args) {
  Target t = Resolve(root, name);
  if (t.object == nullptr) return t.failure;
  return InvokeByName(*t.object, t.member, flags, args);
}

void Print(size_t number, const Step& step, HRESULT hr, const std::string& value) {
  std::printf("{\"step\": %zu, \"op\": \"%s\", \"name\": %s, \"hr\": \"%s\", \"value\": %s}\n",
              number, step.op.c_str(), JsonUtf16(Variant::Text(step.name).GetBstr()).c_str(),
              HresultText(hr).c_str(), value.c_str());
  std::fflush(stdout);
}

std::vector<Step> ParseSteps(const std::vector<std::string>& args, size_t first,
                             const DispatchTable& table) {
  std::vector<Step> steps;
  auto need = [&](size_t i, const std::string& op, const char* what) {
    if (i >= args.size()) throw UsageError{op + " needs " + what};
    return args[i];
  };
  for (size_t i = first; i < args.size();) {
    Step s;
    s.op = args[i++];
    if (s.op == "set") {
      s.name = need(i++, s.op, "a property name");
      s.args.push_back(need(i++, s.op, "a value"));
    } else if (s.op == "get") {
      s.name = need(i++, s.op, "a property name");
    } else if (s.op == "call") {
      s.name = need(i++, s.op, "a method name");
      // As many arguments as the method has parameters (none for a name it does not know).
      const DispEntry* e = table.FindName(s.name);
      const size_t count = e != nullptr && e->kind == MemberKind::kMethod ? e->paramCount : 0;
      for (size_t k = 0; k < count; ++k) s.args.push_back(need(i++, s.op + " " + s.name, "more arguments"));
    } else if (s.op == "paint" || s.op == "save-stream" || s.op == "load-stream" ||
               s.op == "save-bag" || s.op == "load-bag") {
      s.name = need(i++, s.op, s.op == "paint" ? "an output file" : "a file");
    } else if (s.op == "wait") {
      s.name = need(i++, s.op, "milliseconds");
      const std::string& ms = s.name;
      if (ms.empty() || ms.size() > 7 || ms.find_first_not_of("0123456789") != std::string::npos) {
        throw UsageError{"wait needs milliseconds (0 to 9999999), not '" + ms + "'"};
      }
    } else if (!ParseInputStep(s.op, args, i, s.name, s.args)) {
      throw UsageError{"unknown step '" + s.op +
                       "' (set, get, call, paint, wait, save-stream, load-stream, save-bag, "
                       "load-bag, " +
                       kInputStepNames + ")"};
    }
    steps.push_back(std::move(s));
  }
  if (steps.empty()) throw UsageError{"control needs at least one step"};
  return steps;
}

// Saved state is small; a stream file larger than this is not one.
constexpr uint64_t kLargestStreamFile = 64u << 20;

// The control's state through a file: a stream's bytes as they are, a bag as text. A file that
// cannot be read or written is E_FAIL; a bag text that does not read is a bad format.
HRESULT SaveStream(CPelmorCtrl& control, const std::string& path) {
  std::vector<uint8_t> bytes;
  const HRESULT hr = control.SaveToStream(bytes);
  if (FAILED(hr)) return hr;
  platform::File f = platform::File::Create(path.c_str());
  return f && f.Write(bytes.data(), bytes.size()) && f.Close() ? S_OK : E_FAIL;
}

HRESULT LoadStream(CPelmorCtrl& control, const std::string& path) {
  std::string bytes;
  const platform::FileReadStatus read =
      platform::ReadWholeFile(path.c_str(), bytes, kLargestStreamFile);
  if (read != platform::FileReadStatus::kOk) return E_FAIL;
  return control.LoadFromStream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

HRESULT SaveBag(CPelmorCtrl& control, const std::string& path) {
  TextFilePropertyBag bag(path);
  const HRESULT hr = control.SaveToBag(bag);
  if (FAILED(hr)) return hr;
  return bag.Save() ? S_OK : E_FAIL;
}

HRESULT LoadBag(CPelmorCtrl& control, const std::string& path) {
  TextFilePropertyBag bag(path);
  TextBagError error;
  if (!bag.Load(&error)) {
    std::fprintf(stderr, "pelmor: %s: %s\n", path.c_str(), error.ToString().c_str());
    return error.unreadable ? E_FAIL : ArchiveErrorCode(ArchiveError::kBadFormat);
  }
  return control.LoadFromBag(bag);
}

}  // namespace

int RunControl(const std::vector<std::string>& args) {
  int generation = 2;
  int32_t width = 320, height = 240;
  bool userMode = true;
  size_t i = 0;
  for (; i < args.size() && args[i].size() > 2 && args[i].compare(0, 2, "--") == 0; i += 2) {
    const std::string option = args[i];
    if (i + 1 >= args.size()) throw UsageError{"option " + option + " needs a value"};
    const std::string& value = args[i + 1];
    if (option == "--control") {
      if (value != "1" && value != "2") throw UsageError{"--control needs 1 or 2"};
      generation = value == "1" ? 1 : 2;
    } else if (option == "--size") {
      if (!ParseWindowSize(value, width, height) || width > platform::WindowModel::kMaxSide ||
          height > platform::WindowModel::kMaxSide) {
        throw UsageError{"--size needs WxH with sides from 1 to 65535, not '" + value + "'"};
      }
    } else if (option == "--user-mode") {
      if (value != "0" && value != "1") throw UsageError{"--user-mode needs 0 or 1"};
      userMode = value == "1";
    } else {
      throw UsageError{"unknown option " + option};
    }
  }
  const DispatchTable& table = generation == 1 ? PelmorDispatchTable() : Pelmor2DispatchTable();
  const std::vector<Step> steps = ParseSteps(args, i, table);

  HeadlessControl hc;
  hc.host.ambientUserMode = userMode;
  if (!hc.Create(generation, width, height)) {
    std::fprintf(stderr, "pelmor: the control's window could not be created\n");
    return kExitSaveFailed;
  }
  CPelmorCtrl& control = hc.Control();
  size_t number = 0;
  for (const Step& s : steps) {
    ++number;
    std::vector<Variant> values;
    for (const std::string& a : s.args) values.push_back(ParseValue(a));
    if (s.op == "set" || s.op == "get" || s.op == "call") {
      const uint16_t flags = s.op == "set"   ? DISPATCH_PROPERTYPUT
                             : s.op == "get" ? DISPATCH_PROPERTYGET
                                             : DISPATCH_METHOD;
      const InvokeResult r = Invoke(control, s.name, flags, values);
      Print(number, s, r.Effective(), SUCCEEDED(r.hr) ? VariantJson(r.value) : "null");
    } else if (s.op == "paint") {
      control.InvalidateControl();
      hc.host.Paint();
      float ratio = 0.9f;
      {
        std::lock_guard<std::mutex> hold(control.lock);
        ratio = control.doc.compressionRatio;
      }
      const bool written = WriteSurface(hc.host.Window().Compose(), s.name, ratio);
      Print(number, s, written ? S_OK : E_FAIL, "null");
    } else if (s.op == "save-stream") {
      Print(number, s, SaveStream(control, s.name), "null");
    } else if (s.op == "load-stream") {
      Print(number, s, LoadStream(control, s.name), "null");
    } else if (s.op == "save-bag") {
      Print(number, s, SaveBag(control, s.name), "null");
    } else if (s.op == "load-bag") {
      Print(number, s, LoadBag(control, s.name), "null");
    } else if (s.op == "wait") {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::strtol(s.name.c_str(), nullptr, 10)));
      Print(number, s, S_OK, "null");
    } else {
      Print(number, s, S_OK, RunInputStep(hc, s.op, s.name, s.args));
    }
  }
  return kExitOk;
}

}  // namespace pelmor::cli
