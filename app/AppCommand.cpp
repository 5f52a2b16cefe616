// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppCommand.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <exception>

#include "controls/QWClasses.h"
#include "engine/AppUtils.h"
#include "i18n/AppMultiFonts.h"
#include "i18n/AppMultiLangs.h"
#include "platform/FileSystem.h"
#include "platform/SingleInstance.h"
#include "ui/PGCForm.h"
#include "ui/PGCPictures.h"
#include "ui/UiServices.h"
#include "ui/_PGCForm_Helper.h"

namespace purgo {

TAppCommand::TAppCommand(int& argc, char** argv)
    : TQelApplicationCommand(kInstanceGUID), FArgc(argc), FArgv(argv) {}

TAppCommand::~TAppCommand() {
  FActivation.reset();
  platform::SetActivationHandler(nullptr);
  platform::ReleaseInstanceBlock(InstanceGUID());
}

bool TAppCommand::InitializeApplication() {
  if (ExistInstance()) return false;
  FApplication = std::make_unique<QApplication>(FArgc, FArgv);
  QCoreApplication::setApplicationName(QStringLiteral("purgo"));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(PURGO_VERSION));
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kAppId));
  // The installed icon from the theme; a portable copy has none there and
  // shows the painted logo, which is the same drawing.
  const QIcon icon = QIcon::fromTheme(QString::fromLatin1(kAppId), pictures::AppIcon());
  QApplication::setWindowIcon(icon);
  InstallUiServices();
  LoadAppSettings();
  auto* window = new TfrmPGC();
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowIcon(icon);
  window->LoadLangMenuItems();
  window->RefreshMultiLangs();
  // A later start restores and raises this window. Requests stop when the
  // window closes, so that a start during the final save is not handed to
  // a window that is going away.
  platform::SetActivationHandler([] {
    if (frmPGC != nullptr) BringToFront(frmPGC);
  });
  RegisterSingleInstance(static_cast<TQelWindowHandle>(window->winId()) | 1u, 1);
  if (const int fd = ActivationSocket(); fd >= 0) {
    FActivation = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(FActivation.get(), &QSocketNotifier::activated, [this] { ServeActivationRequests(); });
  }
  QObject::connect(window, &QObject::destroyed, [this] {
    if (FActivation) FActivation->setEnabled(false);
    platform::SetActivationHandler(nullptr);
    // The lock and socket go with the window: nothing is left in the
    // runtime folder once the program has closed.
    platform::ReleaseInstanceBlock(InstanceGUID());
  });
  // Where no window manager places it, not at the screen's corner.
  PlaceOnPointerScreen(window);
  window->show();
  return true;
}

bool LoadAppSettings() {
  if (AppConfigs != nullptr) AppConfigs->Load();
  InitializeAppLanguages();
  if (AppOptions != nullptr) AppOptions->LoadFromXML();
  return true;
}

bool InitializeAppLanguages() {
  if (AppConfigs == nullptr || AppMultiLangs == nullptr) return false;
  try {
    // An installed program only reads its shipped packs: it never makes
    // anything below its read-only share folder, nor the user's pack
    // folder, which is the user's to make.
    const std::string langs = AppConfigs->LanguagePath();
    if (AppConfigs->Portable() && !platform::DirectoryExists(langs)) {
      platform::ForceDirectories(langs);
    }
    AppMultiLangs->SetConfigs(AppConfigs);
    AppMultiLangs->SetUserLanguagePath(AppConfigs->UserLanguagePath());
    AppMultiLangs->Parse(langs);
    SelectStartLanguage(*AppMultiLangs, *AppConfigs);
    AppConfigs->SetLanguageID(static_cast<std::uint16_t>(AppMultiLangs->CurrentLanguageID()));
    return AppMultiLangs->Count() > 0 &&
           platform::GetFileAttributes(AppMultiLangs->CurrentStringResFile()).has_value();
  } catch (const std::exception&) {
    return false;
  }
}

void SaveAppSettings() {
  if (AppOptions != nullptr) AppOptions->SaveToXML();
  if (AppConfigs != nullptr) AppConfigs->Save();
}

}  // namespace purgo
