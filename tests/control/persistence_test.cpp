// Saving and loading both controls: the bytes of their blocks, what a load does to a control that
// shows an image, property bags, round trips over random values, and hostile streams.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "control/control_fixtures.h"
#include "control/pelmor2_ctrl.h"
#include "platform/byte_reader.h"
#include "platform/ole/property_bag.h"
#include "platform/ole/text_property_bag.h"

namespace pelmor::test {
namespace {

using namespace ole;

constexpr HRESULT kEndOfFile = Code(0x80040202);
constexpr HRESULT kGeneric = Code(0x80040201);
constexpr HRESULT kBadFormat = Code(0x80040203);

Bytes Saved(CPelmorCtrl& c) {
  Bytes out;
  EXPECT_EQ(c.SaveToStream(out), S_OK);
  return out;
}

// Where the control's own block starts: after the version, the size and the framework's values.
size_t ControlBlockStart(const Bytes& state) {
  EXPECT_GE(state.size(), 8u);
  EXPECT_EQ(LoadU32LE(state.data()), 0x00010000u);
  return 8 + LoadU32LE(state.data() + 4);
}

Bytes ControlBlock(CPelmorCtrl& c) {
  const Bytes state = Saved(c);
  return Bytes(state.begin() + static_cast<ptrdiff_t>(ControlBlockStart(state)), state.end());
}

// A saved framework block followed by `block`.
Bytes WithControlBlock(CPelmorCtrl& c, const Bytes& block) {
  Bytes state = Saved(c);
  state.resize(ControlBlockStart(state));
  state.insert(state.end(), block.begin(), block.end());
  return state;
}

HRESULT Load(CPelmorCtrl& c, const Bytes& state) {
  return c.LoadFromStream(state.data(), state.size());
}

class PersistenceTest : public ::testing::Test {
 protected:
  CPelmorCtrl& Make(int generation, int32_t w = 160, int32_t h = 120) {
    harness_ = std::make_unique<ControlHarness>();
    EXPECT_TRUE(harness_->Create(generation, w, h));
    return harness_->Control();
  }
  ControlHarness& H() { return *harness_; }
  bool IsOpen() { return H().Call("IsOpen").value.GetBool(); }

  std::unique_ptr<ControlHarness> harness_;
  TempDir dir_;
};

TEST_F(PersistenceTest, FirstControlBlockForAGif) {
  CPelmorCtrl& c = Make(1);
  H().PutText("FileName", "a.gif");
  H().Put("HAlignment", Variant::I2(1));
  H().Put("VAlignment", Variant::I2(2));
  c.stretchImage = 1;
  H().Put("SlideShow", Variant::Bool(false));
  EXPECT_EQ(ControlBlock(c), (Bytes{0x05, 0x61, 0x2E, 0x67, 0x69, 0x66, 0x01, 0x00, 0x02, 0x00,
                                    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
  CPelmorCtrl& second = Make(2);
  second.scrolling = -1;
  EXPECT_EQ(ControlBlock(second), (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01,
                                         0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(PersistenceTest, FileNameLengthForms) {
  CPelmorCtrl& c = Make(1);
  const std::pair<size_t, Bytes> cases[] = {{254, {0xFE}},
                                            {255, {0xFF, 0xFF, 0x00}},
                                            {300, {0xFF, 0x2C, 0x01}},
                                            {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}}};
  for (const auto& [length, prefix] : cases) {
    const std::string path(length, 'p');
    c.filePath = path;  // saved as it is, opened or not
    const Bytes block = ControlBlock(c);
    ASSERT_EQ(block.size(), prefix.size() + length + 12) << length;
    EXPECT_EQ(Bytes(block.begin(), block.begin() + static_cast<ptrdiff_t>(prefix.size())), prefix);
    EXPECT_EQ(std::string(block.begin() + static_cast<ptrdiff_t>(prefix.size()), block.end() - 12),
              path);
  }
}

Bytes Utf16Form(std::u16string_view text) {
  ByteWriter w;
  w.U8(0xFF).U16(0xFFFE).U8(static_cast<uint32_t>(text.size()));
  for (char16_t ch : text) w.U16(ch);
  return w.Take();
}

TEST_F(PersistenceTest, SixteenBitFileNamesBecomeTheModulesText) {
  CPelmorCtrl& c = Make(1);
  ByteWriter fields;
  fields.U16(0).U16(0).U32(1).U32(0);
  ASSERT_EQ(
      Load(c, WithControlBlock(
                  c, ByteWriter().Append(Utf16Form(u"a\u00e9b")).Append(fields.Get()).Take())),
      S_OK);
  EXPECT_EQ(c.filePath,
            "a\xC3\xA9"
            "b");
  EXPECT_FALSE(IsOpen());

  // A real file named in 16-bit characters opens.
  const std::string path = SolidBmp(dir_, "\xC3\xA9t\xC3\xA9.bmp", 4, 3, 0x123456);
  std::u16string wide;
  for (char ch : dir_.Path().string() + "/") wide.push_back(static_cast<unsigned char>(ch));
  wide += u"\u00e9t\u00e9.bmp";
  ASSERT_LT(wide.size(), 255u);
  ASSERT_EQ(Load(c, WithControlBlock(
                        c, ByteWriter().Append(Utf16Form(wide)).Append(fields.Get()).Take())),
            S_OK);
  EXPECT_EQ(c.filePath, path);
  EXPECT_TRUE(IsOpen());
  EXPECT_EQ(H().GetText("FileName"), path);
}

TEST_F(PersistenceTest, LoadingAssignsTheFieldsAndOpensTheFile) {
  const std::string path = SolidBmp(dir_, "shown.bmp", 8, 6, 0x00FF00);
  CPelmorCtrl& first = Make(2);
  H().PutText("FileName", path);
  H().Put("HAlignment", Variant::I2(7));
  H().Put("Scrolling", Variant::Bool(true));
  const Bytes state = Saved(first);

  CPelmorCtrl& c = Make(2);
  c.SetModifiedFlag(false);
  H().Host().invalidations.clear();
  ASSERT_EQ(Load(c, state), S_OK);
  EXPECT_TRUE(IsOpen());
  EXPECT_EQ(c.filePath, path);
  EXPECT_EQ(c.hAlignment, 7);
  EXPECT_EQ(c.scrolling, -1);
  EXPECT_FALSE(c.IsModified());
  // Only the framework's repaint after its block: no setter ran.
  EXPECT_EQ(H().Host().invalidations.size(), 1u);
}

TEST_F(PersistenceTest, AnEmptyStoredFileNameKeepsTheImageShown) {
  CPelmorCtrl& blank = Make(1);
  const Bytes state = Saved(blank);
  CPelmorCtrl& c = Make(1);
  H().PutText("FileName", SolidBmp(dir_, "kept.bmp", 5, 5, 0xFF0000));
  ASSERT_TRUE(IsOpen());
  ASSERT_EQ(Load(c, state), S_OK);
  EXPECT_TRUE(IsOpen());
  EXPECT_EQ(H().GetText("FileName"), "");
}

TEST_F(PersistenceTest, ASecondControlLoadingAFirstControlsStreamRunsOutOfBytes) {
  const std::string path = SolidBmp(dir_, "first.bmp", 5, 5, 0xFF0000);
  CPelmorCtrl& first = Make(1);
  H().PutText("FileName", path);
  H().Put("VAlignment", Variant::I2(2));
  H().Put("SlideShow", Variant::Bool(false));
  const Bytes state = Saved(first);

  CPelmorCtrl& second = Make(2);
  EXPECT_EQ(Load(second, state), kEndOfFile);
  // What was read keeps its new value; nothing was opened.
  EXPECT_EQ(second.filePath, path);
  EXPECT_EQ(second.vAlignment, 2);
  EXPECT_EQ(second.slideShow, 0);
  EXPECT_FALSE(IsOpen());
  // The other way round, the extra Scrolling value is refused as bytes after the state.
  CPelmorCtrl& again = Make(2);
  const Bytes secondState = Saved(again);
  CPelmorCtrl& firstAgain = Make(1);
  EXPECT_EQ(Load(firstAgain, secondState), kBadFormat);
}

TEST_F(PersistenceTest, BagsHoldOnlyTheFrameworksValues) {
  const std::string path = SolidBmp(dir_, "bag.bmp", 5, 5, 0xFF0000);
  CPelmorCtrl& c = Make(2);
  H().PutText("FileName", path);
  H().PutText("Caption", "Front door");
  H().Put("HAlignment", Variant::I2(2));
  MemoryPropertyBag bag;
  ASSERT_EQ(c.SaveToBag(bag), S_OK);
  std::vector<std::string> names;
  for (const auto& entry : bag.Entries()) names.push_back(entry.first);
  EXPECT_EQ(names,
            (std::vector<std::string>{"_Version", "_ExtentX", "_ExtentY", "_StockProps", "Caption",
                                      "ForeColor", "BackColor", "Font", "BorderStyle", "Enabled"}));

  CPelmorCtrl& other = Make(2);
  H().PutText("FileName", SolidBmp(dir_, "other.bmp", 3, 3, 0x0000FF));
  ASSERT_EQ(other.LoadFromBag(bag), S_OK);
  EXPECT_EQ(H().GetText("Caption"), "Front door");
  EXPECT_NE(other.filePath, path);  // nothing of the control's own came from the bag
  EXPECT_EQ(other.hAlignment, 0);
  EXPECT_TRUE(IsOpen());

  // Through a text file, which a person may have edited.
  TextFilePropertyBag file(dir_.File("state.txt"));
  ASSERT_EQ(other.SaveToBag(file), S_OK);
  ASSERT_TRUE(file.Save());
  WriteFile(file.Path(), [&] {
    Bytes text = ReadFile(file.Path());
    const std::string add = "BorderStyle = 1\nForeColor = 0x000000FF\n";
    std::string s(text.begin(), text.end());
    s.replace(s.find("BorderStyle = 0\n"), 16, "");
    s.replace(s.find("ForeColor = "), 23, "");
    s += add;
    return Bytes(s.begin(), s.end());
  }());
  TextFilePropertyBag edited(file.Path());
  TextBagError error;
  ASSERT_TRUE(edited.Load(&error)) << error.ToString();
  CPelmorCtrl& third = Make(1);
  ASSERT_EQ(third.LoadFromBag(edited), S_OK);
  EXPECT_EQ(third.GetBorderStyle(), 1);
  EXPECT_EQ(third.GetForeColor(), 0x000000FFu);
  EXPECT_EQ(third.GetCaption(), "Front door");
}

TEST_F(PersistenceTest, RefusedValuesLeaveTheFrameworksPropertiesAsTheyWere) {
  CPelmorCtrl& c = Make(1);
  H().PutText("Caption", "before");
  const std::pair<const char*, HRESULT> cases[] = {
      {"Caption = \"after\"\nBorderStyle = 2\n", kBadFormat},
      {"Caption = \"after\"\nForeColor = 0x12000000\n", kBadFormat},
      {"Caption = \"after\"\nFont = {\n Size = 0\n}\n", kBadFormat},
      {"Caption = \"after\"\nFont = {\n Name = \"\"\n}\n", kBadFormat},
      {"Caption = \"after\"\n_Version = 0x00020000\n", kBadFormat},
  };
  for (const auto& [text, hr] : cases) {
    std::optional<MemoryPropertyBag> bag = ParsePropertyText(text, nullptr);
    ASSERT_TRUE(bag.has_value());
    EXPECT_EQ(c.LoadFromBag(*bag), hr) << text;
    EXPECT_EQ(c.GetCaption(), "before") << text;
  }
}

// Random values of every persisted field, saved, loaded into a new control and saved again.
TEST_F(PersistenceTest, SaveLoadSaveIsByteIdentical) {
  std::mt19937 rng(1234);
  auto any = [&](int64_t lo, int64_t hi) {
    return std::uniform_int_distribution<int64_t>(lo, hi)(rng);
  };
  auto bytes = [&](size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(any(1, 255)));
    return s;
  };
  for (int round = 0; round < 40; ++round) {
    const int generation = 1 + round % 2;
    // Both controls of one size: a load lays the control out again at the size it was created
    // with, which is what the second save sees.
    const auto width = static_cast<int32_t>(any(1, 400));
    const auto height = static_cast<int32_t>(any(1, 300));
    CPelmorCtrl& c = Make(generation, width, height);
    // Names of every length form, of any bytes but NUL: none of them exists.
    const size_t lengths[] = {0, 1, 200, 254, 255, 300, 70000};
    c.filePath = round % 7 == 0 ? "" : dir_.File(bytes(lengths[any(0, 6)]));
    c.hAlignment = static_cast<int16_t>(any(INT16_MIN, INT16_MAX));
    c.vAlignment = static_cast<int16_t>(any(INT16_MIN, INT16_MAX));
    c.stretchImage = static_cast<int32_t>(any(INT32_MIN, INT32_MAX));
    c.slideShow = static_cast<int32_t>(any(INT32_MIN, INT32_MAX));
    c.scrolling = static_cast<int32_t>(any(INT32_MIN, INT32_MAX));
    c.SetCaption(bytes(lengths[any(0, 6)]));
    c.SetForeColor(static_cast<OLE_COLOR>(any(0, 0xFFFFFF)));
    c.SetBackColor(round % 3 == 0 ? 0x80000000u + static_cast<OLE_COLOR>(any(0, 24))
                                  : static_cast<OLE_COLOR>(any(0, 0xFFFFFF)));
    FontDesc font;
    font.name = bytes(static_cast<size_t>(any(1, 40)));
    font.size = static_cast<double>(any(1, 163840000)) / 10000;
    font.weight = static_cast<int16_t>(any(0, 1000));
    font.charset = static_cast<int16_t>(any(0, 255));
    font.italic = any(0, 1);
    font.underline = any(0, 1);
    font.strikethrough = any(0, 1);
    c.SetFont(font);
    c.SetEnabled(any(0, 1));
    c.SetBorderStyle(static_cast<int16_t>(any(0, 1)));
    const Bytes first = Saved(c);

    CPelmorCtrl& loaded = Make(generation, width, height);
    ASSERT_EQ(Load(loaded, first), S_OK) << round;
    EXPECT_EQ(Saved(loaded), first) << round;
    EXPECT_EQ(loaded.GetFont().Desc(), font) << round;
  }
}

// Every way a stranger's stream can be broken ends in a clean failure, and the control still works.
TEST_F(PersistenceTest, HostileStreamsFailCleanly) {
  const std::string image = SolidBmp(dir_, "usable.bmp", 4, 4, 0x00FF00);
  for (int generation : {1, 2}) {
    CPelmorCtrl& c = Make(generation);
    H().PutText("FileName", image);
    H().PutText("Caption", "caption");
    const Bytes state = Saved(c);
    const size_t start = ControlBlockStart(state);
    std::vector<std::pair<Bytes, HRESULT>> cases;
    for (size_t cut = 0; cut < state.size(); ++cut) {
      cases.emplace_back(Bytes(state.begin(), state.begin() + static_cast<ptrdiff_t>(cut)),
                         kEndOfFile);
    }
    Bytes trailing = state;
    trailing.push_back(0);
    cases.emplace_back(trailing, kBadFormat);
    // A 2 GiB name in a short stream, a 64-bit count above 0x7FFFFFFF, 16-bit text of odd length.
    cases.emplace_back(
        WithControlBlock(c, ByteWriter().U8(0xFF).U16(0xFFFF).U32(0x7FFFFFFF).Fill(16, 0).Take()),
        kEndOfFile);
    cases.emplace_back(WithControlBlock(c, ByteWriter()
                                               .U8(0xFF)
                                               .U16(0xFFFF)
                                               .U32(0xFFFFFFFF)
                                               .U32(0x80000000)
                                               .U32(0)
                                               .Fill(16, 0)
                                               .Take()),
                       kGeneric);
    cases.emplace_back(
        WithControlBlock(c, ByteWriter().U8(0xFF).U16(0xFFFE).U8(8).Fill(15, 0x41).Take()),
        kEndOfFile);
    // A framework block claiming more bytes than the stream has.
    Bytes bigBlock = state;
    StoreU32LE(bigBlock.data() + 4, 0xFFFFFFF0);
    cases.emplace_back(bigBlock, kEndOfFile);

    for (const auto& [bytes, hr] : cases) {
      CPelmorCtrl& target = Make(generation);
      EXPECT_EQ(Load(target, bytes), hr) << bytes.size();
      EXPECT_FALSE(IsOpen()) << bytes.size();
      if (bytes.size() < start) {
        EXPECT_EQ(target.GetCaption(), "") << "framework values apply whole or not at all";
      }
      H().PutText("FileName", image);
      EXPECT_TRUE(IsOpen());
    }
  }
}

// The worker reads filePath when a cycle ends, so a load stops it before the path changes. A
// stand-in worker records the path it sees when it is told to stop.
TEST_F(PersistenceTest, LoadingStopsTheWorkerBeforeThePathChanges) {
  CPelmorCtrl& source = Make(1);
  source.filePath = dir_.File("new.gif");
  const Bytes state = Saved(source);

  CPelmorCtrl& c = Make(1);
  c.filePath = "old.gif";
  std::string seen;
  {
    std::lock_guard<std::mutex> hold(c.lock);
    c.animating = true;
  }
  c.thread = std::thread([&c, &seen] {
    while (true) {
      {
        std::lock_guard<std::mutex> hold(c.lock);
        if (!c.animating) {
          seen = c.filePath;
          return;
        }
      }
      std::this_thread::yield();
    }
  });
  ASSERT_EQ(Load(c, state), S_OK);
  EXPECT_FALSE(c.thread.joinable());
  c.StopAnimation();  // a load that forgot to stop it must not leave the stand-in running
  EXPECT_EQ(seen, "old.gif");
  EXPECT_EQ(c.filePath, dir_.File("new.gif"));
}

}  // namespace
}  // namespace pelmor::test
