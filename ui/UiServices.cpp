// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/UiServices.h"

#include <QApplication>
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
#include <array>

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

}  // namespace

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
