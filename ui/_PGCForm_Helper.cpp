// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/_PGCForm_Helper.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QFontMetrics>
#include <QHeaderView>
#include <QTreeView>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "controls/QWClasses.h"
#include "controls/QWImageButton.h"
#include "controls/QWLabel.h"
#include "engine/PurgoCore.h"
#include "i18n/AppMultiFonts.h"
#include "i18n/AppMultiLangs.h"
#include "i18n/QSDynString.h"
#include "platform/Hooks.h"
#include "ui/PGCPictures.h"
#include "ui/PGCProgressForm.h"

namespace purgo {

QVariant FoundFilesHeader(int ASection, Qt::Orientation AOrientation, int ARole) {
  if (AOrientation != Qt::Horizontal) return {};
  switch (ARole) {
    case Qt::DisplayRole:
      return Text(ASection == colFoundName     ? STR_PGCForm_List_Name
                  : ASection == colFoundFolder ? STR_PGCForm_List_Folder
                                               : STR_PGCForm_List_Size);
    case Qt::TextAlignmentRole:
      return ASection == colFoundSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    // Sizes are compared to find what is worth deleting: largest first.
    case Qt::InitialSortOrderRole:
      return ASection == colFoundSize ? Qt::DescendingOrder : Qt::AscendingOrder;
    default: return {};
  }
}

std::string ShownPath(std::string_view APath) {
  constexpr std::size_t kWhole = 4096, kHead = 1024, kTail = 2048;
  if (APath.size() <= kWhole) return std::string(APath);
  const auto continuation = [&](std::size_t i) {
    return (static_cast<unsigned char>(APath[i]) & 0xC0) == 0x80;
  };
  std::size_t head = kHead, tail = APath.size() - kTail;
  for (int n = 0; n < 3 && continuation(head); ++n) --head;
  for (int n = 0; n < 3 && continuation(tail); ++n) ++tail;
  std::string shown;
  shown.reserve(head + 5 + APath.size() - tail);
  shown.append(APath.substr(0, head)).append(" \u2026 ").append(APath.substr(tail));
  return shown;
}

QString NameFromLabel(const QString& ALabel) {
  QString name = ALabel.trimmed();
  while (name.endsWith(QLatin1Char(':')) || name.endsWith(QChar(0xFF1A))) name.chop(1);
  return name.trimmed();
}

void ChainTabOrder(std::initializer_list<QWidget*> AWidgets) {
  QWidget* before = nullptr;
  for (QWidget* w : AWidgets) {
    if (before != nullptr) QWidget::setTabOrder(before, w);
    before = w;
  }
}

namespace {

// The windows that have a modal child shown over them.
std::vector<QWidget*>& WindowsWithModalChild() {
  static std::vector<QWidget*> list;
  return list;
}

MessageBoxHook& BoxHook() {
  static MessageBoxHook hook;
  return hook;
}

// Ends a nested loop when the form it waits for is hidden or destroyed.
class HideWatcher : public QObject {
 public:
  HideWatcher(QWidget* form, QEventLoop* loop) : QObject(form), loop_(loop) {
    form->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Hide) loop_->quit();
    return false;
  }

 private:
  QEventLoop* loop_;
};

}  // namespace

int DoModal(QWidget* AForm, QWidget* AMainWindow, bool ACenter) {
  if (AForm == nullptr || AMainWindow == nullptr || !AMainWindow->isVisible()) return 0;
  auto& list = WindowsWithModalChild();
  if (AMainWindow->isModal() || std::find(list.begin(), list.end(), AMainWindow) != list.end()) {
    return 0;
  }
  list.push_back(AMainWindow);
  QPointer<QWidget> form(AForm), main(AMainWindow);
  // A top-level window that the window manager keeps above the main one.
  // Not a child widget: disabling the main window would disable it too.
  if (AForm->parentWidget() != nullptr) AForm->setParent(nullptr, AForm->windowFlags());
  AForm->setWindowFlags(AForm->windowFlags() | Qt::Dialog);
  AForm->winId();
  AMainWindow->winId();
  if (AForm->windowHandle() != nullptr) {
    AForm->windowHandle()->setTransientParent(AMainWindow->windowHandle());
  }
  if (ACenter) {
    const QRect m = AMainWindow->geometry();
    AForm->move(m.left() + (m.width() - AForm->width()) / 2,
                m.top() + (m.height() - AForm->height()) / 2);
  }
  TQelCustomButton::SetModalResultOf(AForm, 0);
  QEventLoop loop;
  auto* watcher = new HideWatcher(AForm, &loop);
  // Disabling the window takes the focus from its control; the keyboard
  // user comes back to that control, not to the window's first one.
  QPointer<QWidget> focused(AMainWindow->focusWidget());
  AForm->show();
  AForm->activateWindow();
  AMainWindow->setEnabled(false);
  if (AForm->isVisible()) loop.exec();
  int result = 0;
  if (form != nullptr) {
    result = TQelCustomButton::ModalResultOf(form);
    delete watcher;
  }
  if (main != nullptr) {
    main->setEnabled(true);
    if (focused != nullptr && focused->window() == main && focused->isVisible() && focused->isEnabled()) {
      focused->setFocus(Qt::OtherFocusReason);
    }
    BringToFront(main);
  }
  list.erase(std::remove(list.begin(), list.end(), AMainWindow), list.end());
  return result;
}

namespace {

struct TChoice {
  const std::string* caption;
  int code;
};

std::vector<TChoice> ChoicesOf(int ABoxType) {
  switch (ABoxType & 0xF) {
    case MB_OKCANCEL: return {{&STR_OK, IDOK}, {&STR_Cancel, IDCANCEL}};
    case MB_ABORTRETRYIGNORE: return {{&STR_Abort, IDABORT}, {&STR_Retry, IDRETRY}, {&STR_Ignore, IDIGNORE}};
    case MB_YESNOCANCEL: return {{&STR_Yes, IDYES}, {&STR_No, IDNO}, {&STR_Cancel, IDCANCEL}};
    case MB_YESNO: return {{&STR_Yes, IDYES}, {&STR_No, IDNO}};
    case MB_RETRYCANCEL: return {{&STR_Retry, IDRETRY}, {&STR_Cancel, IDCANCEL}};
    default: return {{&STR_OK, IDOK}};
  }
}

constexpr int kBoxTitleBand = 30, kBoxMargin = 16, kBoxIcon = 32, kBoxButtonH = 28, kBoxButtonGap = 8;
constexpr int kBoxTextMin = 260, kBoxTextMax = 440;

// DoModal's refusals, asked before the box is built for it.
bool CanShowModalOver(QWidget* AWindow) {
  if (AWindow == nullptr || !AWindow->isVisible() || AWindow->isModal()) return false;
  const auto& list = WindowsWithModalChild();
  return std::find(list.begin(), list.end(), AWindow) == list.end();
}

}  // namespace

TfrmMessageBox::TfrmMessageBox(const QString& AText, const QString& ACaption, int ABoxType)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
  const int buttons = ABoxType & 0xF;
  FEscapeCode = buttons == MB_YESNO ? IDNO : buttons == MB_OK || buttons > MB_RETRYCANCEL ? IDOK : IDCANCEL;
  setWindowTitle(ACaption);
  setAccessibleName(ACaption);
  setAccessibleDescription(AText);
  const QFont base = LanguageFont(QApplication::font());
  setFont(base);
  QFont bold = base;
  bold.setBold(true);

  std::optional<pictures::MessageIcon> icon;
  const std::string* iconName = nullptr;  // what the icon says, for screen readers
  switch (ABoxType & 0xF0) {
    case MB_ICONHAND: icon = pictures::MessageIcon::Error, iconName = &STR_Error; break;
    case MB_ICONQUESTION: icon = pictures::MessageIcon::Question, iconName = &STR_Question; break;
    case MB_ICONEXCLAMATION: icon = pictures::MessageIcon::Warning, iconName = &STR_Warning; break;
    case MB_ICONASTERISK: icon = pictures::MessageIcon::Information, iconName = &STR_Information; break;
    default: break;
  }

  // The text decides the width, between a narrow box and a wide one; the
  // lines it wraps into decide the height.
  const QFontMetrics metrics(base);
  int textWidth = kBoxTextMin;
  for (const QString& line : AText.split(QLatin1Char('\n'))) {
    textWidth = std::max(textWidth, metrics.horizontalAdvance(line) + 2);
  }
  textWidth = std::min(textWidth, kBoxTextMax);
  const int textHeight =
      std::max(metrics.boundingRect(QRect(0, 0, textWidth, 100000), Qt::TextWordWrap, AText).height(),
               icon ? kBoxIcon : 0);
  const std::vector<TChoice> choices = ChoicesOf(ABoxType);
  std::vector<int> widths;
  const QFontMetrics boldMetrics(bold);
  int row = 0;
  for (const TChoice& c : choices) {
    widths.push_back(std::max(80, boldMetrics.horizontalAdvance(Text(*c.caption)) + 28));
    row += widths.back() + (row > 0 ? kBoxButtonGap : 0);
  }
  const int textLeft = kBoxMargin + (icon ? kBoxIcon + 14 : 4);
  const int width = std::max(textLeft + textWidth + kBoxMargin + 4, row + 2 * kBoxMargin);
  const int textTop = kBoxTitleBand + 18;
  const int buttonTop = textTop + textHeight + 20;
  setFixedSize(width, buttonTop + kBoxButtonH + 14);

  imgBackground = new TQelImage(this);
  imgBackground->setGeometry(rect());
  imgBackground->SetPicture(pictures::DialogBackground(size(), kBoxTitleBand));
  lblTitleBar = new TQelTitleBar(this);
  lblTitleBar->setGeometry(8, 3, width - 48, 24);
  lblTitleBar->SetLogo(pictures::Logo(24));
  lblTitleBar->SetTitle(ACaption);
  lblTitleBar->setAccessibleName(ACaption);
  QFont title = bold;
  title.setPointSizeF(base.pointSizeF() + 1);
  lblTitleBar->SetTitleFont(title, pictures::TitleTextColor());
  btnClose = new TQelImageButton(this);
  btnClose->setGeometry(width - 32, 3, 25, 24);
  btnClose->SetPictureNormal(pictures::TitleButtonFace(pictures::TitleButton::Close, pictures::Face::Normal, btnClose->size()));
  btnClose->SetPictureMouseHover(pictures::TitleButtonFace(pictures::TitleButton::Close, pictures::Face::Hover, btnClose->size()));
  btnClose->SetPictureMouseDown(pictures::TitleButtonFace(pictures::TitleButton::Close, pictures::Face::Down, btnClose->size()));
  btnClose->setFocusPolicy(Qt::NoFocus);
  btnClose->setToolTip(Text(STR_Close));
  btnClose->setAccessibleName(btnClose->toolTip());
  btnClose->SetModalResult(FEscapeCode);
  connect(btnClose, &QAbstractButton::clicked, this, &QWidget::close);

  imgIcon = new TQelImage(this);
  imgIcon->SetMoveHandler(false);
  if (icon) {
    imgIcon->setGeometry(kBoxMargin + 4, textTop, kBoxIcon, kBoxIcon);
    imgIcon->SetPicture(pictures::MessageBadge(*icon, kBoxIcon));
    imgIcon->setAccessibleName(Text(*iconName));
  } else {
    imgIcon->hide();
  }
  lblText = new TQelLabel(this);
  lblText->setGeometry(textLeft, textTop, textWidth, textHeight);
  lblText->SetWordWrap(true);
  lblText->SetTextAlignment(textHeight > metrics.height() * 2 || !icon ? valTopLeft : valMiddleLeft);
  lblText->SetFontColor(QColor(0x20, 0x26, 0x2E));
  lblText->SetCaption(AText);
  lblText->setAccessibleName(AText);

  int x = width - kBoxMargin - row;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    auto* b = new TQelImageButton(this);
    b->setGeometry(x, buttonTop, widths[i], kBoxButtonH);
    x += widths[i] + kBoxButtonGap;
    for (auto [face, set] : {std::pair{pictures::Face::Normal, &TQelCustomButton::SetPictureNormal},
                             std::pair{pictures::Face::Hover, &TQelCustomButton::SetPictureMouseHover},
                             std::pair{pictures::Face::Down, &TQelCustomButton::SetPictureMouseDown},
                             std::pair{pictures::Face::Disabled, &TQelCustomButton::SetPictureDisabled}}) {
      (b->*set)(pictures::ActionButtonFace(face, b->size()));
    }
    b->SetEnableMultiFonts(true);
    b->setFont(bold);
    b->SetFontMouseHover(bold);
    b->SetFontMouseDown(bold);
    b->SetFontDisabled(bold);
    b->SetFontColor(pictures::ActionCaptionColor(pictures::Face::Normal));
    b->SetFontColorMouseHover(pictures::ActionCaptionColor(pictures::Face::Hover));
    b->SetFontColorMouseDown(pictures::ActionCaptionColor(pictures::Face::Down));
    b->SetFontColorDisabled(pictures::ActionCaptionColor(pictures::Face::Disabled));
    b->setText(Text(*choices[i].caption));
    b->SetModalResult(choices[i].code);
    connect(b, &QAbstractButton::clicked, this, &QWidget::close);
    FButtons.push_back(b);
    FCodes.push_back(choices[i].code);
  }
  // Enter answers with the first button, Escape with the box's Escape
  // code: by its button where it has one, else by the close button.
  FButtons.front()->SetDefault(true);
  const auto escape = std::find(FCodes.begin(), FCodes.end(), FEscapeCode);
  if (escape != FCodes.end()) {
    FButtons[static_cast<std::size_t>(escape - FCodes.begin())]->SetCancel(true);
  } else {
    btnClose->SetCancel(true);
  }
}

void TfrmMessageBox::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  FButtons.front()->setFocus(Qt::ActiveWindowFocusReason);
}

int ShowMessageBox(QWidget* AOwner, const QString& AText, const QString& ACaption, int, int ABoxType) {
  if (MessageBoxHook hook = BoxHook()) return hook(AText, ACaption, ABoxType);
  TfrmMessageBox box(AText, ACaption, ABoxType);
  QWidget* owner = AOwner != nullptr ? AOwner->window() : nullptr;
  int result = 0;
  if (CanShowModalOver(owner)) {
    result = DoModal(&box, owner, true);
  } else {
    // Nothing to stand over (no window yet, or one already covered): the
    // box is modal to the whole program instead.
    box.setWindowFlags(box.windowFlags() | Qt::Dialog);
    box.setWindowModality(Qt::ApplicationModal);
    TQelCustomButton::SetModalResultOf(&box, 0);
    QEventLoop loop;
    auto* watcher = new HideWatcher(&box, &loop);
    box.show();
    box.activateWindow();
    if (box.isVisible()) loop.exec();
    delete watcher;
    result = TQelCustomButton::ModalResultOf(&box);
  }
  // Closed without a button: what Escape means for this box.
  return result != 0 ? result : box.EscapeCode();
}

QFont LanguageFont(const QFont& ADesigned) {
  // The face the language's scheme gives its dialogs; with no scheme the
  // desktop's, through the same mapping of faces to installed families.
  TQelFont scheme = FromQFont(QApplication::font(), Qt::black);
  ApplyFont(scheme, FONT_FCSettingForm);
  QFont font = ADesigned;
  font.setFamilies(ToQFont(scheme).families());
  return font;
}

// ---- anchors -------------------------------------------------------------------

void TAnchors::Add(QWidget* AControl, unsigned AAnchors, QSize AParentDesigned) {
  QWidget* parent = AControl != nullptr ? AControl->parentWidget() : nullptr;
  if (parent == nullptr) return;
  auto it = std::find_if(FParents.begin(), FParents.end(), [&](const TParent& p) { return p.widget == parent; });
  if (it == FParents.end()) {
    FParents.push_back({parent, AParentDesigned, AParentDesigned, {}});
    it = FParents.end() - 1;
    parent->installEventFilter(this);
  }
  it->controls.emplace_back(AControl, AAnchors);
}

bool TAnchors::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AEvent->type() != QEvent::Resize) return QObject::eventFilter(AWatched, AEvent);
  for (TParent& p : FParents) {
    if (p.widget != AWatched) continue;
    const QSize now = p.widget->size().expandedTo(p.designed);
    const int dw = now.width() - p.applied.width(), dh = now.height() - p.applied.height();
    p.applied = now;
    if (dw == 0 && dh == 0) break;
    for (auto& [control, anchors] : p.controls) {
      if (control == nullptr) continue;
      QRect r = control->geometry();
      if ((anchors & akRight) != 0) {
        if ((anchors & akLeft) != 0) {
          r.setWidth(r.width() + dw);
        } else {
          r.translate(dw, 0);
        }
      }
      if ((anchors & akBottom) != 0) {
        if ((anchors & akTop) != 0) {
          r.setHeight(r.height() + dh);
        } else {
          r.translate(0, dh);
        }
      }
      control->setGeometry(r);
    }
    break;
  }
  return QObject::eventFilter(AWatched, AEvent);
}

// ---- resizing by the edges -----------------------------------------------------------

TEdgeResizer::TEdgeResizer(QWidget* AWindow) : QObject(AWindow), FWindow(AWindow) {
  // The native window exists from the first show on; its events come
  // before any control's, so the edges work over every control.
  FWindow->installEventFilter(this);
}

bool TEdgeResizer::Resizable() const {
  return !FWindow->isMaximized() && !FWindow->isFullScreen() && FWindow->minimumSize() != FWindow->maximumSize();
}

Qt::Edges TEdgeResizer::EdgesAt(QPoint APos) const {
  Qt::Edges edges;
  if (APos.x() < kBorder) edges |= Qt::LeftEdge;
  if (APos.x() >= FWindow->width() - kBorder) edges |= Qt::RightEdge;
  if (APos.y() < kBorder) edges |= Qt::TopEdge;
  if (APos.y() >= FWindow->height() - kBorder) edges |= Qt::BottomEdge;
  return edges;
}

void TEdgeResizer::ShowCursorFor(Qt::Edges AEdges) {
  Qt::CursorShape shape = Qt::ArrowCursor;
  if (AEdges == (Qt::LeftEdge | Qt::TopEdge) || AEdges == (Qt::RightEdge | Qt::BottomEdge)) {
    shape = Qt::SizeFDiagCursor;
  } else if (AEdges == (Qt::RightEdge | Qt::TopEdge) || AEdges == (Qt::LeftEdge | Qt::BottomEdge)) {
    shape = Qt::SizeBDiagCursor;
  } else if ((AEdges & (Qt::LeftEdge | Qt::RightEdge)) != 0) {
    shape = Qt::SizeHorCursor;
  } else if ((AEdges & (Qt::TopEdge | Qt::BottomEdge)) != 0) {
    shape = Qt::SizeVerCursor;
  }
  if (AEdges == Qt::Edges()) {
    if (FCursorSet) FWindow->unsetCursor();
    FCursorSet = false;
    return;
  }
  FWindow->setCursor(shape);
  FCursorSet = true;
}

bool TEdgeResizer::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AWatched == FWindow) {
    if ((AEvent->type() == QEvent::Show || AEvent->type() == QEvent::WinIdChange) &&
        FWindow->windowHandle() != FHandle) {
      if (FHandle != nullptr) FHandle->removeEventFilter(this);
      FHandle = FWindow->windowHandle();
      if (FHandle != nullptr) FHandle->installEventFilter(this);
    }
    return false;
  }
  if (AWatched != FHandle) return false;
  switch (AEvent->type()) {
    case QEvent::MouseMove: {
      const auto* e = static_cast<QMouseEvent*>(AEvent);
      if (FDragging != Qt::Edges()) {
        const QPoint d = e->globalPosition().toPoint() - FPressGlobal;
        const QSize least = FWindow->minimumSize();
        QRect g = FStartGeometry;
        if (FDragging & Qt::LeftEdge) g.setLeft(std::min(g.left() + d.x(), g.right() + 1 - least.width()));
        if (FDragging & Qt::RightEdge) g.setRight(std::max(g.right() + d.x(), g.left() + least.width() - 1));
        if (FDragging & Qt::TopEdge) g.setTop(std::min(g.top() + d.y(), g.bottom() + 1 - least.height()));
        if (FDragging & Qt::BottomEdge) g.setBottom(std::max(g.bottom() + d.y(), g.top() + least.height() - 1));
        FWindow->setGeometry(g);
        return true;
      }
      if (e->buttons() == Qt::NoButton) ShowCursorFor(Resizable() ? EdgesAt(e->position().toPoint()) : Qt::Edges());
      return false;
    }
    case QEvent::MouseButtonPress: {
      const auto* e = static_cast<QMouseEvent*>(AEvent);
      const Qt::Edges edges = EdgesAt(e->position().toPoint());
      if (e->button() != Qt::LeftButton || edges == Qt::Edges() || !Resizable()) return false;
      if (FHandle->startSystemResize(edges)) return true;
      // No window manager to ask: the window follows the pointer until
      // the button is released.
      FDragging = edges;
      FPressGlobal = e->globalPosition().toPoint();
      FStartGeometry = FWindow->geometry();
      return true;
    }
    case QEvent::MouseButtonRelease:
      if (FDragging == Qt::Edges()) return false;
      FDragging = {};
      ShowCursorFor({});
      return true;
    case QEvent::Leave:
      if (FDragging == Qt::Edges()) ShowCursorFor({});
      return false;
    default:
      return false;
  }
}

// ---- names, counts ---------------------------------------------------------------

int CompareNames(std::string_view A, std::string_view B) {
  const std::size_t n = std::min(A.size(), B.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto a = static_cast<unsigned char>(A[i]), b = static_cast<unsigned char>(B[i]);
    if (a == b) continue;
    if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a + 32);
    if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b + 32);
    if (a != b) return a < b ? -1 : 1;
  }
  if (A.size() != B.size()) return A.size() < B.size() ? -1 : 1;
  const int bytes = A.compare(B);
  return bytes < 0 ? -1 : bytes > 0 ? 1 : 0;
}

std::uint64_t NameKey(std::string_view AName) {
  std::uint64_t key = 0;
  const std::size_t n = std::min<std::size_t>(AName.size(), 8);
  for (std::size_t i = 0; i < n; ++i) {
    auto c = static_cast<unsigned char>(AName[i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
    key = key << 8 | c;
  }
  // Short names are padded with zero bytes, which no name holds.
  return n == 0 ? 0 : n == 8 ? key : key << (8 * (8 - n));
}

QString TickedText(std::int64_t ACount, std::int64_t ASize) {
  const std::array<TQelDynArg, 2> args{TQelDynArg(ACount), TQelDynArg(FormatSize64(ASize))};
  return Text(QelFormat(STR_PGCForm_6, args));
}

void TSortJob::Start(QObject* AReceiver, Work AWork, End AEnd) {
  if (!FThread.joinable()) {
    Launch(AReceiver, std::move(AWork), std::move(AEnd));
    return;
  }
  // A request that had not started yet left nothing to drop.
  FStop = true;
  FNextReceiver = AReceiver;
  FNextWork = std::move(AWork);
  FNextEnd = std::move(AEnd);
}

void TSortJob::Launch(QObject* AReceiver, Work AWork, End AEnd) {
  FStop = false;
  FEnd = std::move(AEnd);
  const std::uint64_t generation = ++FGeneration;
  QPointer<QObject> receiver(AReceiver);
  FThread = std::thread([this, work = std::move(AWork), receiver, generation] {
    work(FStop);
    // Queued to the receiver's thread; dropped by Qt if the receiver is
    // gone, and by the generation if Finish came first.
    QMetaObject::invokeMethod(
        receiver.data(),
        [this, generation] {
          if (generation == FGeneration) Done();
        },
        Qt::QueuedConnection);
  });
}

void TSortJob::Done() {
  if (!FNextWork) {
    Finish(true);
    return;
  }
  FThread.join();
  ++FGeneration;
  End end = std::move(FEnd);
  FEnd = nullptr;
  if (end) end(false);
  Work work = std::move(FNextWork);
  End next = std::move(FNextEnd);
  FNextWork = nullptr;
  FNextEnd = nullptr;
  Launch(FNextReceiver, std::move(work), std::move(next));
}

bool TSortJob::Finish(bool AApply) {
  if (!FThread.joinable()) return false;
  if (!AApply || FNextWork) FStop = true;
  FThread.join();
  ++FGeneration;
  End end = std::move(FEnd);
  FEnd = nullptr;
  if (!FNextWork) {
    if (end) end(AApply);
    return true;
  }
  if (end) end(false);
  Work work = std::move(FNextWork);
  End next = std::move(FNextEnd);
  FNextWork = nullptr;
  FNextEnd = nullptr;
  if (AApply) {
    FStop = false;
    work(FStop);
    if (next) next(true);
  }
  return true;
}

void SetUpFileColumns(QTreeView* AList) {
  QHeaderView* header = AList->header();
  AList->setHeaderHidden(false);
  header->setStretchLastSection(false);
  header->setMinimumSectionSize(60);
  header->setSectionResizeMode(0, QHeaderView::Interactive);
  header->setSectionResizeMode(1, QHeaderView::Stretch);
  header->setSectionResizeMode(2, QHeaderView::Interactive);
  header->resizeSection(0, 240);
  header->resizeSection(2, 96);
  // A long folder keeps its last folders in view, where files differ.
  AList->setTextElideMode(Qt::ElideMiddle);
  // No order until the user picks one: rows stay in the order found.
  header->setSortIndicator(-1, Qt::AscendingOrder);
  AList->setSortingEnabled(true);
}

void SetTickedCaption(TQelLabel* ALabel, bool AShown, std::int64_t ACount, std::int64_t ASize) {
  if (ALabel == nullptr) return;
  const QString text = AShown ? TickedText(ACount, ASize) : QString();
  ALabel->SetCaption(text);
  ALabel->setAccessibleName(text);
  ALabel->setVisible(AShown);
}

QString CleanQuestion(const std::string& AQuestion, std::int64_t ACount, std::int64_t ASize) {
  return Text(AQuestion) + QStringLiteral("\n\n") + TickedText(ACount, ASize);
}

bool BringToFront(QWidget* AWindow) {
  if (AWindow == nullptr) return false;
  if (AWindow->isMinimized()) AWindow->showNormal();
  AWindow->raise();
  AWindow->activateWindow();
  return true;
}

void SetMessageBoxHookForTesting(MessageBoxHook hook) { BoxHook() = std::move(hook); }

TCleaningPass::TCleaningPass(TfrmPGCProgress* ADialog, TPGCBaseCleaner* APurgo, std::int64_t ATotal,
                             const bool& AStopping, std::function<std::uint64_t(std::size_t ARow)> ASizeOf)
    : FDialog(ADialog),
      FPurgo(APurgo),
      FTotal(ATotal),
      FStopping(AStopping),
      FSizeOf(std::move(ASizeOf)),
      FQueue(
          [this](platform::DeletionQueue::Outcome& o) {
            platform::ProcessMessages();
            if (FStopping) FQueue.Stop();
            if (o.result == platform::DeleteResult::Deleted) {
              FAnyDeleted = true;
              const auto row = static_cast<std::size_t>(o.tag);
              FPurgo->SetCleanTotalFilesCount(FPurgo->CleanTotalFilesCount() + 1);
              FPurgo->SetCleanTotalFilesSize(FPurgo->CleanTotalFilesSize() + static_cast<std::int64_t>(FSizeOf(row)));
              FGone.push_back(row);
            }
            Handled();
          },
          0, TScanPace::kCleanHandBackEvery) {}

void TCleaningPass::Handled(std::int64_t ACount) {
  FHandled += ACount;
  if (FTotal > 0) FDialog->SetPercentage(static_cast<int>(std::min<std::int64_t>(FHandled * 100 / FTotal, 99)));
  if (!FDrawn.isValid() || FDrawn.elapsed() >= TScanPace::kDrawEveryMs) {
    ShowStatus();
    FDrawn.start();
  }
}

void TCleaningPass::ShowStatus() {
  FDialog->Status().Reload(&CountText(FPurgo->CleanTotalFilesCount(), STR_PGCForm_2, STR_PGCForm_2_One),
                           {FPurgo->CleanTotalFilesCount(), FormatSize64(FPurgo->CleanTotalFilesSize())});
  FDialog->RefreshStatus();
}

void TCleaningPass::Finish() {
  if (FStopping) FQueue.Stop();
  FQueue.Finish();
}

}  // namespace purgo
