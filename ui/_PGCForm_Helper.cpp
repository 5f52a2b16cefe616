// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/_PGCForm_Helper.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <vector>

#include "controls/QWImageButton.h"

namespace purgo {

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

int ShowMessageBox(QWidget* AOwner, const QString& AText, const QString& ACaption, int,
                   int ABoxType) {
  if (MessageBoxHook hook = BoxHook()) return hook(AText, ACaption, ABoxType);
  QMessageBox box(AOwner);
  box.setText(AText);
  box.setWindowTitle(ACaption);
  switch (ABoxType & 0xF0) {
    case MB_ICONHAND: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONASTERISK: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  struct Choice {
    QMessageBox::StandardButton button;
    int code;
  };
  std::vector<Choice> choices;
  switch (ABoxType & 0xF) {
    case MB_OKCANCEL: choices = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}}; break;
    case MB_ABORTRETRYIGNORE:
      choices = {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY},
                 {QMessageBox::Ignore, IDIGNORE}};
      break;
    case MB_YESNOCANCEL:
      choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
      break;
    case MB_YESNO: choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}}; break;
    case MB_RETRYCANCEL: choices = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}}; break;
    default: choices = {{QMessageBox::Ok, IDOK}}; break;
  }
  QMessageBox::StandardButtons buttons;
  for (const Choice& c : choices) buttons |= c.button;
  box.setStandardButtons(buttons);
  const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
  for (const Choice& c : choices) {
    if (c.button == pressed) return c.code;
  }
  // Closed without a button: what Escape means for this box.
  return (ABoxType & 0xF) == MB_YESNO ? IDNO : (ABoxType & 0xF) == MB_OK ? IDOK : IDCANCEL;
}

bool BringToFront(QWidget* AWindow) {
  if (AWindow == nullptr) return false;
  if (AWindow->isMinimized()) AWindow->showNormal();
  AWindow->raise();
  AWindow->activateWindow();
  return true;
}

void SetMessageBoxHookForTesting(MessageBoxHook hook) { BoxHook() = std::move(hook); }

}  // namespace purgo
