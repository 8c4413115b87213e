// The first control: shows one image file in its window, aligned or stretched, with a slide show
// for animated GIF files. Everything that opens a file goes through LoadFile. The second control
// derives from this one and adds no fields.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "display/content_paint.h"
#include "model/image_doc.h"
#include "platform/clock.h"
#include "platform/ole/ole_control.h"

namespace pelmor {

class CPelmorCtrl : public ole::COleControl {
 public:
  CPelmorCtrl();
  ~CPelmorCtrl() override;

  // --- Identity ---
  const char* GetRuntimeClassName() const override { return "CPelmorCtrl"; }
  ole::GUID GetClassID() const override;
  uint32_t GetUserTypeNameID() const override;
  uint32_t GetMiscStatus() const override;
  std::vector<ole::GUID> GetPropPageIDs() const override;
  const ole::DispatchTable& GetDispatchTable() const override;
  std::unique_ptr<ole::COlePropertyPage> CreatePropertyPage(const ole::GUID& clsid) const override;
  std::string PropertyFrameCaption() const override;
  // Runs the About box modally through the site.
  void AboutBox() override;
  static const ole::MessageMap messageMap;
  const ole::MessageMap* GetMessageMap() const override { return &messageMap; }

  // --- Opening ---
  // Stops the worker, clears the wheel, resets the scroll bars, hands the translated BackColor to
  // the document, opens path at image index, starts the worker when the file is an animated GIF
  // and SlideShow is on, and updates the layout. Neither repaints nor marks modified.
  void LoadFile(const std::string& path, int32_t index);
  // Whether the document holds an image (codec, images, block, header and bits). Take `lock`
  // while a worker may run.
  bool DocumentOpen() const;

  // --- Properties and methods of the dispatch interface (host thread) ---
  const std::string& GetFileName() const { return filePath; }
  void SetFileName(const std::string& path);
  void SetHAlignment(int16_t value);
  void SetVAlignment(int16_t value);
  void SetStretchImage(int32_t value);
  void SetSlideShow(int32_t value);
  virtual bool OnQueryNewPalette();
  virtual void OnPaletteChanged(int32_t window);
  bool IsOpen();

  // --- Saved state ---
  // The framework block, then FileName, HAlignment, VAlignment, StretchImage and SlideShow.
  void Serialize(ole::Archive& ar) override;
  // The version, then the framework's values (the control's own are not in property bags).
  void DoPropExchange(ole::PropertyExchange& px) override;

  // --- Painting ---
  void OnDraw(platform::HDC dc, const platform::RECT& bounds, const platform::RECT& invalid) override;
  // The ambient background, then the image or the Caption. Sets every pixel of rect.
  void PaintContent(platform::HDC dc, const platform::RECT& rect);
  // Sizes, fits, places and draws the image; returns the document's Draw result. Hold `lock`.
  // With a background colour, what the image leaves of rect is filled with it. `drawn`, when
  // given, receives the part of rect the image was drawn into (empty when nothing was).
  int32_t DrawImage(platform::HDC dc, const platform::RECT& rect,
                    const platform::COLORREF* background = nullptr, platform::RECT* drawn = nullptr);
  // Scroll ranges when scrolling, otherwise the control's size (the image's or the created one).
  void UpdateLayout();

  // --- Scrolling ---
  void ResetScrollBars();
  void UpdateScrollRanges();
  // The bar's position (SB_HORZ or SB_VERT), 0 when it cannot be read.
  int32_t ScrollPos(int bar) const;
  // Lines per wheel notch, -1 for a page: the platform's setting through the window's host, 3
  // when there is none.
  int32_t QueryWheelScrollLines() const;

  // --- Animation ---
  // Starts the worker that plays an animated file (nothing in a designer); false only when it
  // could not be created. A worker still running is stopped first, so there is never a second.
  bool StartAnimation();
  // Tells a running worker to stop and waits for it; never call it holding `lock`.
  void StopAnimation();
  // The worker's body: waits each frame's display time by the clock, then shows the next frame.
  void AnimationThread(platform::Clock& clock);
  // One step of the worker, under `lock`: unless a stop was asked meanwhile, the next frame (the
  // file opened again at its first frame after the last, or after a frame that failed), painted
  // straight onto the window where OnDraw puts it and handed to the host to show.
  void ShowNextAnimationFrame();

  // --- Window messages (through the message map) ---
  int OnCreate(const platform::CREATESTRUCT& create);
  void OnSize(uint32_t type, int32_t width, int32_t height);
  void OnSettingChange();
  void OnDestroy();

  // --- Fields, in order ---
  int16_t hAlignment = 0;
  int16_t vAlignment = 0;
  int32_t stretchImage = 1;
  int32_t slideShow = 1;
  int32_t scrolling = 0;
  int32_t createdWidth = -1;
  int32_t createdHeight = -1;
  int32_t wheelDelta = 0;
  int32_t wheelLines = 3;
  CImageDoc doc;
  bool animating = false;  // read and written under `lock`
  // Serialises the document and all painting between the host thread and the worker.
  std::mutex lock;
  std::string filePath;  // narrow encoding; changed only after StopAnimation
  std::thread thread;
  uint32_t threadId = 0;

 protected:
  // The control's own block. Loading stops the worker, assigns each field as it is read (no
  // setter, repaint or modified mark), refuses bytes after the block, and opens the file when the
  // path is not empty.
  void SerializeState(ole::Archive& ar, bool withScrolling);
  void OnClose() override;
  void PreCreateWindow(uint32_t& style) override;
  // Moves the document to an image; a decoding failure, or memory running out, empties it.
  bool ShowDocumentImage(int32_t index);

 private:
  // The window the worker paints into: set when the window is created and cleared when it goes,
  // both under `lock`, so the worker never reaches a window that is being destroyed.
  platform::WindowModel* workerWindow_ = nullptr;
  OffscreenBitmap offscreen_;  // OnDraw's bitmap, reused while the window keeps its size
};

}  // namespace pelmor
