// Property pages: a dialog that edits properties of one or more objects by name, shown in a
// property frame with OK, Cancel and Apply. A page binds its items to properties in order (its
// data exchange); showing it reads each property from the first object into a member and the
// member into its item; applying it copies each item back into its member and writes, to every
// object and in the binding order, only the properties whose items the user changed since. The
// writes go through the objects' dispatch setters, exactly as a script's would.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ole/dispatch.h"
#include "platform/window/dialog_window.h"

namespace pelmor::ole {

class COlePropertyPage;

// What a frame offers its pages.
class PropertyPageSite {
 public:
  virtual ~PropertyPageSite() = default;
  // A page's changed state may have changed (the frame enables Apply when any page is dirty).
  virtual void OnStatusChange() = 0;
};

// The page's bindings, run in one direction at a time.
class PropExchange {
 public:
  enum class Direction {
    kShow,   // property -> member -> item
    kApply,  // item -> member, then a write of the property when the item was changed
  };
  PropExchange(COlePropertyPage& page, Direction direction) : page_(page), direction_(direction) {}
  Direction GetDirection() const { return direction_; }

  // An edit field's text, a string property.
  void Text(int32_t id, std::string& member, const char* property);
  // A combo box's selected index (-1 for none), an integer property.
  void ComboIndex(int32_t id, int32_t& member, const char* property);
  // A check box's state, a property read as a truth value (checked when non-zero).
  void Check(int32_t id, int32_t& member, const char* property);

  struct Write {
    std::string property;
    Variant value;
  };
  // The writes an apply queued, in order.
  const std::vector<Write>& Queued() const { return queued_; }

 private:
  bool Read(const char* property, VARTYPE type, Variant& value);
  void Queue(int32_t id, const char* property, Variant value);

  COlePropertyPage& page_;
  Direction direction_;
  std::vector<Write> queued_;
};

class COlePropertyPage : public platform::DialogController {
 public:
  COlePropertyPage(const platform::DialogTemplate& dialog, std::string caption);
  ~COlePropertyPage() override = default;

  const platform::DialogTemplate& Template() const { return template_; }
  const std::string& Caption() const { return caption_; }

  // The objects the page edits (the frame's); they outlive the page's use of them.
  void SetObjects(std::vector<DispatchObject*> objects) { objects_ = std::move(objects); }
  const std::vector<DispatchObject*>& Objects() const { return objects_; }
  void SetPageSite(PropertyPageSite* site) { site_ = site; }

  // Dirty: an item bound to a property was changed since the page was shown or last applied.
  bool IsDirty() const { return !changed_.empty(); }
  bool ItemChanged(int32_t id) const { return changed_.count(id) != 0; }
  // Writes the changed properties to every object; true when every write succeeded. Failed
  // writes are left out and the rest still go; the page is clean afterwards either way.
  bool Apply();
  // The result code of each write the last apply made, in order.
  struct WriteResult {
    std::string property;
    size_t object;
    HRESULT hr;
  };
  const std::vector<WriteResult>& LastApply() const { return lastApply_; }

  // DialogController: the items are made, then the values are shown; changes the user (or the
  // page's own code outside showing) makes to bound items mark them changed.
  bool OnInitDialog(platform::DialogWindow& dialog) override;
  void OnCommand(platform::DialogWindow& dialog, int32_t id, uint32_t code) override;

  // Shows the objects' values again (everything clean).
  void ShowValues();
  // The dialog is gone: the page forgets it, and the changes it held with it.
  void DialogClosed();

 protected:
  // The bindings, in order.
  virtual void DoDataExchange(PropExchange& dx) = 0;
  // The dialog while the page is shown (null before).
  platform::DialogWindow* Dialog() const { return dialog_; }
  // Marks an item changed as a user change would (for pages that edit values without bindings).
  void SetItemChanged(int32_t id);
  // Reads the values into the items; the default runs the data exchange.
  virtual void LoadValues();
  // Writes what changed to the objects, recording each write; true when all succeeded. The
  // default runs the data exchange and writes its queue to every object.
  virtual bool WriteChanges();
  void RecordWrite(std::string property, size_t object, HRESULT hr) {
    lastApply_.push_back({std::move(property), object, hr});
  }

 private:
  friend class PropExchange;

  platform::DialogTemplate template_;
  std::string caption_;
  std::vector<DispatchObject*> objects_;
  PropertyPageSite* site_ = nullptr;
  platform::DialogWindow* dialog_ = nullptr;
  std::set<int32_t> changed_;
  std::set<int32_t> bound_;  // items the data exchange binds
  bool showing_ = false;     // changes while showing are not the user's
  std::vector<WriteResult> lastApply_;
};

// The frame's logic: pages over a set of objects; Apply writes every dirty page, OK applies and
// closes, Cancel closes without writing.
class PropertyFrame : public PropertyPageSite {
 public:
  PropertyFrame(std::string caption, std::vector<std::unique_ptr<COlePropertyPage>> pages,
                std::vector<DispatchObject*> objects);
  const std::string& Caption() const { return caption_; }
  size_t PageCount() const { return pages_.size(); }
  COlePropertyPage& Page(size_t i) { return *pages_[i]; }
  bool AnyDirty() const;
  // Applies every dirty page; true when every write succeeded.
  bool Apply();
  // Called by the frame's window when a page's state may have changed.
  void SetStatusListener(std::function<void()> listener) { listener_ = std::move(listener); }
  void OnStatusChange() override {
    if (listener_) listener_();
  }

 private:
  std::string caption_;
  std::vector<std::unique_ptr<COlePropertyPage>> pages_;
  std::vector<DispatchObject*> objects_;
  std::function<void()> listener_;
};

}  // namespace pelmor::ole
