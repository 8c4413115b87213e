#include "platform/qt/qt_dialog.h"

#include <QApplication>
#include <algorithm>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolTip>
#include <QUrl>
#include <QVBoxLayout>

namespace pelmor::platform::qt {

namespace {

class QtDesktopOpener : public DesktopOpener {
 public:
  bool Open(const std::string& target) override {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(target)));
  }
};

DesktopOpener* g_opener = nullptr;

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// "*.bmp;*.jpg" as a Qt filter: "All files (*.bmp *.jpg)".
QString FilterText(const std::pair<std::string, std::string>& filter) {
  QString patterns = Q(filter.second);
  patterns.replace(';', ' ');
  return Q(filter.first) + " (" + patterns + ")";
}

// The palette role that plays a system colour's part.
QPalette::ColorRole PaletteRole(int index) {
  switch (index) {
    case 5: return QPalette::Base;               // COLOR_WINDOW
    case 8: return QPalette::Text;               // COLOR_WINDOWTEXT
    case 13: return QPalette::Highlight;         // COLOR_HIGHLIGHT
    case 14: return QPalette::HighlightedText;   // COLOR_HIGHLIGHTTEXT
    case 17: return QPalette::PlaceholderText;   // COLOR_GRAYTEXT
    case 18: return QPalette::ButtonText;        // COLOR_BTNTEXT
    case 7: return QPalette::Text;               // COLOR_MENUTEXT
    default: return QPalette::Window;            // COLOR_BTNFACE and the rest
  }
}

}  // namespace

DesktopOpener& CurrentDesktopOpener() {
  static QtDesktopOpener desktop;
  return g_opener != nullptr ? *g_opener : desktop;
}
void SetDesktopOpener(DesktopOpener* opener) { g_opener = opener; }

QFont DialogFont(const char* faceName, int pointSize) {
  QFont font = QApplication::font();
  const std::string_view face(faceName);
  if (face != "MS Sans Serif" && face != "MS Shell Dlg" && !face.empty()) font.setFamily(faceName);
  font.setPointSize(pointSize > 0 ? pointSize : 8);
  return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  return BaseUnitsFromFont(metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"),
                           metrics.height());
}

QColor QColorFrom(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
COLORREF ColorRefFrom(const QColor& c) {
  return RGB(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue()));
}

QFont QFontFrom(const FontDescription& d) {
  QFont font(QString::fromStdString(d.faceName));
  font.setPointSizeF(d.pointSize > 0 ? d.pointSize : 9);
  font.setWeight(static_cast<QFont::Weight>(std::clamp(d.weight, 100, 900)));
  font.setItalic(d.italic);
  font.setUnderline(d.underline);
  font.setStrikeOut(d.strikethrough);
  return font;
}

FontDescription FontDescriptionFrom(const QFont& font) {
  FontDescription d;
  d.faceName = font.family().toStdString();
  d.pointSize = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 72.0 / 96.0;
  d.weight = font.weight();
  d.italic = font.italic();
  d.underline = font.underline();
  d.strikethrough = font.strikeOut();
  return d;
}

// An item the code behind the dialog paints and whose mouse it hears.
class QtItemWidget : public QWidget, public ItemWindow, public ItemPainter {
 public:
  QtItemWidget(QWidget* parent, ItemHandler& handler, std::string text, uint32_t style)
      : QWidget(parent), handler_(handler), text_(std::move(text)), style_(style) {
    setMouseTracking(true);
    handler_.Attach(*this);
  }
  ~QtItemWidget() override { handler_.Detach(); }
  void SetText(std::string text) {
    text_ = std::move(text);
    update();
  }

  // ItemWindow.
  std::string Text() override { return text_; }
  RECT ClientRect() override { return {0, 0, width(), height()}; }
  uint32_t Style() override { return style_; }
  COLORREF SystemColor(int index) override { return ColorRefFrom(palette().color(PaletteRole(index))); }
  std::optional<FontDescription> Font() override { return FontDescriptionFrom(font()); }
  std::optional<SIZE> MeasureText(std::string_view text, const FontDescription& f) override {
    const QFontMetrics metrics(QFontFrom(f));
    return SIZE{metrics.horizontalAdvance(Q(text)), metrics.height()};
  }
  std::optional<POINT> CursorPos() override {
    const QPoint p = QCursor::pos();
    return POINT{p.x(), p.y()};
  }
  POINT ClientToScreen(POINT p) override {
    const QPoint s = mapToGlobal(QPoint(p.x, p.y));
    return {s.x(), s.y()};
  }
  CursorHandle LoadSystemCursor(CursorHandle id) override { return id; }
  CursorHandle SetCursor(CursorHandle cursor) override {
    const CursorHandle previous = cursor_;
    cursor_ = cursor;
    if (cursor == IDC_HAND) {
      setCursor(Qt::PointingHandCursor);
    } else {
      unsetCursor();
    }
    return previous;
  }
  void SetCapture() override {
    grabMouse();
    capture_ = true;
  }
  void ReleaseCapture() override {
    if (!capture_) return;
    releaseMouse();
    capture_ = false;
    handler_.OnCaptureChanged(false);
  }
  bool HasCapture() override { return capture_ && QWidget::mouseGrabber() == this; }
  void RedrawNow() override { repaint(); }
  bool AddTooltip(const RECT& rect, std::string_view text) override {
    tooltipRect_ = QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    tooltip_ = Q(text);
    return true;
  }
  bool ShellOpen(std::string_view target) override { return CurrentDesktopOpener().Open(std::string(target)); }

  // ItemPainter (inside paintEvent).
  void FillRect(const RECT& r, COLORREF color) override {
    if (painter_ != nullptr) painter_->fillRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), QColorFrom(color));
  }
  void TextOut(int32_t x, int32_t y, std::string_view text, const FontDescription& f, COLORREF color,
               std::optional<COLORREF> background, const RECT& clip) override {
    if (painter_ == nullptr || text.empty()) return;
    const QFont font = QFontFrom(f);
    const QFontMetrics metrics(font);
    const QString s = Q(text);
    painter_->save();
    painter_->setClipRect(QRect(clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top));
    if (background) painter_->fillRect(QRect(x, y, metrics.horizontalAdvance(s), metrics.height()), QColorFrom(*background));
    painter_->setFont(font);
    painter_->setPen(QColorFrom(color));
    painter_->drawText(QPoint(x, y + metrics.ascent()), s);
    painter_->restore();
  }

  const QString& TooltipText() const { return tooltip_; }
  QRect TooltipRect() const { return tooltipRect_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter_ = &painter;
    handler_.OnPaint(*this);
    painter_ = nullptr;
  }
  void mouseMoveEvent(QMouseEvent*) override { handler_.OnMouseMove(); }
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) handler_.OnLButtonDown();
  }
  void leaveEvent(QEvent*) override { handler_.OnMouseMove(); }
  bool event(QEvent* e) override {
    if (e->type() == QEvent::ToolTip) {
      auto* help = static_cast<QHelpEvent*>(e);
      if (!tooltip_.isEmpty() && tooltipRect_.contains(help->pos())) {
        QToolTip::showText(help->globalPos(), tooltip_, this, tooltipRect_);
      } else {
        QToolTip::hideText();
      }
      return true;
    }
    if (e->type() == QEvent::PaletteChange || e->type() == QEvent::FontChange) handler_.OnSettingChange();
    return QWidget::event(e);
  }

 private:
  ItemHandler& handler_;
  std::string text_;
  uint32_t style_;
  CursorHandle cursor_ = IDC_ARROW;
  bool capture_ = false;
  QString tooltip_;
  QRect tooltipRect_;
  QPainter* painter_ = nullptr;
};

QtDialogPanel::QtDialogPanel(const DialogTemplate& dialog, DialogController& controller, QWidget* parent)
    : QWidget(parent), template_(dialog), controller_(controller) {
  setFont(DialogFont(dialog.fontName, dialog.pointSize));
  units_ = BaseUnitsOf(font());
  const RECT size = MapDialogRect(0, 0, dialog.cx, dialog.cy, units_);
  templateSize_ = QSize(size.right, size.bottom);
  setMinimumSize(templateSize_);
  // Made in tab order: Qt's focus chain follows creation.
  std::vector<std::pair<QLabel*, uint32_t>> labels;
  for (const DialogItem& item : dialog.items) {
    QWidget* w = MakeItem(item);
    if (w == nullptr) continue;
    if (item.kind == DialogItemKind::kText) labels.emplace_back(static_cast<QLabel*>(w), item.style);
    const RECT r = MapDialogRect(item, units_);
    int height = r.bottom - r.top;
    // A combo's template height is its open list's; the closed box is a line high.
    if (item.kind == DialogItemKind::kDropList || item.kind == DialogItemKind::kDropDown) {
      height = std::min(height, w->sizeHint().height());
    }
    w->setGeometry(r.left, r.top, r.right - r.left, height);
    if (item.id != kNoItemId) {
      w->setObjectName(QString::number(item.id));
      items_[item.id] = w;
      kinds_[item.id] = item.kind;
    }
  }
  FitOneLineLabels(labels);
}

// A template's static texts are laid out for the font it names; the font that stands in for it
// here may be wider, and a label one line high would then wrap its last words out of sight. Such
// a label keeps to one line and grows to its text's width, up to the nearest item beside it on
// the right (or the dialog's edge). Centred and right-aligned labels keep their rectangles.
void QtDialogPanel::FitOneLineLabels(const std::vector<std::pair<QLabel*, uint32_t>>& labels) {
  const QFontMetrics metrics(font());
  for (const auto& [label, style] : labels) {
    QRect r = label->geometry();
    if (r.height() >= 2 * metrics.height()) continue;
    label->setWordWrap(false);
    if (style & (SS_CENTER | SS_RIGHT)) continue;
    const int textWidth = metrics.horizontalAdvance(label->text());
    if (textWidth <= r.width()) continue;
    int limit = std::max(templateSize_.width(), r.right() + 1);
    for (QObject* child : children()) {
      const auto* other = qobject_cast<QWidget*>(child);
      if (other == nullptr || other == label) continue;
      const QRect o = other->geometry();
      if (o.left() > r.left() && o.top() <= r.bottom() && o.bottom() >= r.top()) {
        limit = std::min(limit, o.left());
      }
    }
    r.setWidth(std::max(r.width(), std::min(textWidth, limit - r.left())));
    label->setGeometry(r);
  }
}

QtDialogPanel::~QtDialogPanel() = default;

QWidget* QtDialogPanel::MakeItem(const DialogItem& item) {
  const int32_t id = item.id;
  const QString text = QString::fromUtf8(item.text);
  switch (item.kind) {
    case DialogItemKind::kText: {
      auto* label = new QLabel(text, this);
      label->setAlignment((item.style & SS_CENTER) ? Qt::AlignHCenter : (item.style & SS_RIGHT) ? Qt::AlignRight : Qt::AlignLeft);
      label->setWordWrap(true);
      label->setAlignment(label->alignment() | Qt::AlignTop);
      return label;
    }
    case DialogItemKind::kIcon: {
      auto* label = new QLabel(this);
      if (const Surface* icon = controller_.Icon(item.text); icon != nullptr && *icon) {
        const QImage image(reinterpret_cast<const uchar*>(icon->Row(0)), icon->Width(), icon->Height(),
                           icon->Width() * 4, QImage::Format_RGB32);
        label->setPixmap(QPixmap::fromImage(image.copy()));
      }
      return label;
    }
    case DialogItemKind::kFrame: {
      auto* frame = new QFrame(this);
      frame->setFrameShape(item.cy <= 2 ? QFrame::HLine : QFrame::Box);
      frame->setFrameShadow(QFrame::Sunken);
      return frame;
    }
    case DialogItemKind::kEdit: {
      auto* edit = new QLineEdit(text, this);
      connect(edit, &QLineEdit::textChanged, this, [this, id] { Command(id, EN_CHANGE); });
      return edit;
    }
    case DialogItemKind::kButton:
    case DialogItemKind::kDefaultButton: {
      auto* button = new QPushButton(text, this);
      button->setDefault(item.kind == DialogItemKind::kDefaultButton);
      button->setAutoDefault(false);
      connect(button, &QPushButton::clicked, this, [this, id] { Command(id, BN_CLICKED); });
      return button;
    }
    case DialogItemKind::kCheckBox: {
      auto* check = new QCheckBox(text, this);
      connect(check, &QCheckBox::clicked, this, [this, id] { Command(id, BN_CLICKED); });
      return check;
    }
    case DialogItemKind::kDropList:
    case DialogItemKind::kDropDown: {
      auto* combo = new QComboBox(this);
      combo->setEditable(item.kind == DialogItemKind::kDropDown);
      for (const char* entry : item.entries) combo->addItem(QString::fromUtf8(entry));
      combo->setCurrentIndex(-1);
      connect(combo, &QComboBox::activated, this, [this, id] { Command(id, CBN_SELCHANGE); });
      if (combo->lineEdit() != nullptr) {
        connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this, id] { Command(id, CBN_EDITCHANGE); });
      }
      return combo;
    }
    case DialogItemKind::kList: {
      auto* list = new QListWidget(this);
      for (const char* entry : item.entries) list->addItem(QString::fromUtf8(entry));
      connect(list, &QListWidget::currentRowChanged, this, [this, id] { Command(id, LBN_SELCHANGE); });
      return list;
    }
  }
  return nullptr;
}

void QtDialogPanel::Start() {
  if (started_) return;
  started_ = true;
  controller_.OnInitDialog(*this);
}

void QtDialogPanel::Command(int32_t id, uint32_t code) {
  if (!started_) return;
  if (id == IDOK && code == BN_CLICKED) {
    if (controller_.OnOK(*this)) EndDialog(IDOK);
    return;
  }
  if (id == IDCANCEL && code == BN_CLICKED) {
    if (controller_.OnCancel(*this)) EndDialog(IDCANCEL);
    return;
  }
  controller_.OnCommand(*this, id, code);
}

QWidget* QtDialogPanel::Item(int32_t id) const {
  const auto it = items_.find(id);
  return it != items_.end() ? it->second : nullptr;
}

std::string QtDialogPanel::GetItemText(int32_t id) {
  QWidget* w = Item(id);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text().toStdString();
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text().toStdString();
  if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentText().toStdString();
  if (auto* item = dynamic_cast<QtItemWidget*>(w)) return item->Text();
  return {};
}

void QtDialogPanel::SetItemText(int32_t id, std::string_view text) {
  QWidget* w = Item(id);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->setText(Q(text));
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(Q(text));
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    button->setText(Q(text));
  } else if (auto* combo = qobject_cast<QComboBox*>(w); combo != nullptr && combo->isEditable()) {
    combo->setEditText(Q(text));
  } else if (auto* item = dynamic_cast<QtItemWidget*>(w)) {
    item->SetText(std::string(text));
  }
}

int32_t QtDialogPanel::GetCheck(int32_t id) {
  auto* check = qobject_cast<QCheckBox*>(Item(id));
  return check != nullptr && check->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void QtDialogPanel::SetCheck(int32_t id, int32_t state) {
  if (auto* check = qobject_cast<QCheckBox*>(Item(id))) check->setChecked(state == BST_CHECKED);
}

int32_t QtDialogPanel::AddString(int32_t id, std::string_view text) {
  QWidget* w = Item(id);
  if (auto* combo = qobject_cast<QComboBox*>(w)) {
    const QSignalBlocker block(combo);
    const int index = combo->currentIndex();
    combo->addItem(Q(text));
    combo->setCurrentIndex(index);
    return combo->count() - 1;
  }
  if (auto* list = qobject_cast<QListWidget*>(w)) {
    list->addItem(Q(text));
    return list->count() - 1;
  }
  return -1;
}

void QtDialogPanel::ResetContent(int32_t id) {
  QWidget* w = Item(id);
  if (auto* combo = qobject_cast<QComboBox*>(w)) {
    const QSignalBlocker block(combo);
    combo->clear();
  } else if (auto* list = qobject_cast<QListWidget*>(w)) {
    const QSignalBlocker block(list);
    list->clear();
  }
}

int32_t QtDialogPanel::GetCurSel(int32_t id) {
  QWidget* w = Item(id);
  if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentIndex();
  if (auto* list = qobject_cast<QListWidget*>(w)) return list->currentRow();
  return -1;
}

void QtDialogPanel::SetCurSel(int32_t id, int32_t index) {
  QWidget* w = Item(id);
  if (auto* combo = qobject_cast<QComboBox*>(w)) {
    const QSignalBlocker block(combo);
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
  } else if (auto* list = qobject_cast<QListWidget*>(w)) {
    const QSignalBlocker block(list);
    list->setCurrentRow(index >= 0 && index < list->count() ? index : -1);
  }
}

void QtDialogPanel::EnableItem(int32_t id, bool enable) {
  if (QWidget* w = Item(id)) w->setEnabled(enable);
}

bool QtDialogPanel::SubclassItem(int32_t id, ItemHandler& handler) {
  QWidget* old = Item(id);
  if (old == nullptr || dynamic_cast<QtItemWidget*>(old) != nullptr) return false;
  const DialogItem* item = template_.Find(id);
  std::string text = GetItemText(id);
  auto* widget = new QtItemWidget(this, handler, std::move(text), item != nullptr ? item->style : 0);
  widget->setObjectName(old->objectName());
  widget->setGeometry(old->geometry());
  widget->setFont(old->font());
  widget->stackUnder(old);
  widget->show();
  items_[id] = widget;
  delete old;
  return true;
}

std::optional<std::string> QtDialogPanel::GetOpenFileName(const OpenFileRequest& request) {
  QStringList filters;
  for (const auto& f : request.filters) filters << FilterText(f);
  QFileDialog dialog(window(), Q(request.title));
  dialog.setNameFilters(filters);
  dialog.setFileMode((request.flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  const QFileInfo initial(Q(request.initialName));
  if (!request.initialName.empty()) {
    if (initial.isDir()) {
      dialog.setDirectory(initial.filePath());
    } else {
      if (initial.dir().exists()) dialog.setDirectory(initial.dir());
      dialog.selectFile(initial.fileName());
    }
  }
  while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
    const QString chosen = dialog.selectedFiles().first();
    // The folder of the chosen name must exist; the user is told and asked again.
    if ((request.flags & OFN_PATHMUSTEXIST) && !QFileInfo(chosen).dir().exists()) {
      QMessageBox::warning(&dialog, dialog.windowTitle(), "The folder does not exist:\n" + QFileInfo(chosen).path());
      continue;
    }
    return chosen.toStdString();
  }
  return std::nullopt;
}

std::optional<COLORREF> QtDialogPanel::ChooseColor(COLORREF initial) {
  const QColor chosen = QColorDialog::getColor(QColorFrom(initial), window());
  if (!chosen.isValid()) return std::nullopt;
  return ColorRefFrom(chosen);
}

void QtDialogPanel::EndDialog(int32_t result) {
  if (end_) end_(result);
}

int32_t RunModalDialog(const DialogTemplate& dialog, DialogController& controller, QWidget* parent) {
  QDialog box(parent);
  box.setWindowTitle(QString::fromUtf8(dialog.caption));
  auto* panel = new QtDialogPanel(dialog, controller, &box);
  auto* layout = new QVBoxLayout(&box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(panel);
  box.setFixedSize(panel->TemplateSize());
  int32_t result = IDCANCEL;
  panel->SetEndHandler([&box, &result](int32_t r) {
    result = r;
    box.done(r);
  });
  // Escape and the window's close button end it as Cancel does.
  QObject::connect(&box, &QDialog::rejected, &box, [] {});
  panel->Start();
  if (!box.isVisible()) box.exec();
  return result;
}

}  // namespace pelmor::platform::qt
