// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/UiServices.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>
#include <QVariantMap>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>

#ifdef PURGO_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include "controls/QWClasses.h"
#include "i18n/AppMultiLangs.h"
#include "i18n/QSDynString.h"
#include "platform/Hooks.h"
#include "ui/_PGCForm_Helper.h"

namespace purgo {
namespace {

constexpr char kPortalService[] = "org.freedesktop.portal.Desktop";
constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr char kOpenUriInterface[] = "org.freedesktop.portal.OpenURI";

// A file by its absolute path, anything else as the address it reads as.
QUrl AddressUrl(const QString& AAddress) {
  return QFileInfo(AAddress).isAbsolute() ? QUrl::fromLocalFile(AAddress) : QUrl::fromUserInput(AAddress);
}

// How the portal knows which window its chooser belongs to; only X11
// windows can be named without a handshake.
QString ParentWindowId(QWidget* AParent) {
  if (AParent == nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) return {};
  return QStringLiteral("x11:") + QString::number(AParent->window()->winId(), 16);
}

bool PortalOnBus(const QDBusConnection& ABus) {
  if (!ABus.isConnected() || ABus.interface() == nullptr) return false;
  const QString name = QString::fromLatin1(kPortalService);
  if (ABus.interface()->isServiceRegistered(name).value()) return true;
  return ABus.interface()->activatableServiceNames().value().contains(name);
}

#ifdef PURGO_HAVE_XCB
// The window that the root's _NET_SUPPORTING_WM_CHECK names, if it names
// itself too: a manager that has gone leaves the root's property behind,
// but not its own window.
bool WindowManagerRunning(xcb_connection_t* AConnection) {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(AConnection)).data;
  if (screen == nullptr) return false;
  static constexpr char kName[] = "_NET_SUPPORTING_WM_CHECK";
  const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
      xcb_intern_atom_reply(AConnection, xcb_intern_atom(AConnection, 1, static_cast<std::uint16_t>(sizeof kName - 1), kName), nullptr),
      &std::free);
  if (atom == nullptr || atom->atom == XCB_ATOM_NONE) return false;
  const auto checkOf = [&](xcb_window_t AWindow) -> xcb_window_t {
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(AConnection,
                               xcb_get_property(AConnection, 0, AWindow, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr),
        &std::free);
    if (reply == nullptr || reply->type != XCB_ATOM_WINDOW || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) < 4) {
      return XCB_WINDOW_NONE;
    }
    return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
  };
  const xcb_window_t check = checkOf(screen->root);
  return check != XCB_WINDOW_NONE && checkOf(check) == check;
}
#endif

}  // namespace

bool WindowsArePlacedForUs() {
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return false;
  if (platform != QLatin1String("xcb")) return true;
#ifdef PURGO_HAVE_XCB
  if (const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
    if (xcb_connection_t* connection = x11->connection()) return WindowManagerRunning(connection);
  }
#endif
  return true;
}

void PlaceOnPointerScreen(QWidget* AWindow) {
  if (AWindow == nullptr || WindowsArePlacedForUs()) return;
  const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QSize size = AWindow->frameGeometry().size();
  AWindow->move(area.left() + std::max(0, (area.width() - size.width()) / 2),
                area.top() + std::max(0, (area.height() - size.height()) / 2));
}

bool AskPortalToChooseProgram(const QDBusConnection& ABus, const QString& AAddress, QWidget* AParent) {
  if (!PortalOnBus(ABus)) return false;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
      QString::fromLatin1(kOpenUriInterface), QStringLiteral("OpenURI"));
  QVariantMap options;
  options.insert(QStringLiteral("ask"), true);
  call << ParentWindowId(AParent) << AddressUrl(AAddress).toString(QUrl::FullyEncoded) << options;
  // Not waited for: the chooser stays up as long as the user likes, and
  // what is chosen is the desktop's business.
  return ABus.send(call);
}

void ChooseProgramFor(const QDBusConnection& ABus, const QString& AAddress) {
  QWidget* owner = QApplication::activeWindow();
  if (AskPortalToChooseProgram(ABus, AAddress, owner)) return;
  const std::array<TQelDynArg, 1> args{TQelDynArg(AAddress.toStdString())};
  ShowMessageBox(owner, Text(QelFormat(STR_OpenAddressFailed, args)), Text(STR_Warning), 0,
                 MB_OK | MB_ICONEXCLAMATION);
}

void InstallUiServices() {
  // A walk calls this before every entry; draining more often than every
  // 10 ms costs time and shows nothing more.
  platform::SetProcessMessagesHook([] {
    static QElapsedTimer last;
    if (last.isValid() && last.elapsed() < 10) return;
    last.start();
    QCoreApplication::processEvents();
  });
  platform::SetShellOpenHook([](const std::string& file, const std::string&, int) {
    const QUrl url = AddressUrl(QString::fromStdString(file));
    return url.isValid() && QDesktopServices::openUrl(url);
  });
  SetChooseProgramHook([](const std::string& url) {
    ChooseProgramFor(QDBusConnection::sessionBus(), QString::fromStdString(url));
  });
}

}  // namespace purgo
