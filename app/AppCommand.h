// SPDX-License-Identifier: GPL-3.0-or-later
// The program's start-up command and the settings steps around the
// message loop. Needs Qt (it creates the application and the main window):
// it belongs to the program, not to the core.
#pragma once

#include <memory>

#include "app/AppSingletons.h"
#include "app/QSApplicationCommand.h"

class QApplication;
class QSocketNotifier;

namespace purgo {

// The name of the single-instance block.
inline constexpr char kInstanceGUID[] = "{1047E291-FFFF-4ac2-870E-5CEA30153018}";
// The id the desktop knows the program by: the desktop entry's and the
// metainfo's file names, the icon's name and the windows' application id.
inline constexpr char kAppId[] = "org.purgo.Purgo";

class TAppCommand : public TQelApplicationCommand {
 public:
  TAppCommand(int& argc, char** argv);
  ~TAppCommand() override;

  // The application object; null in a copy that handed over to another.
  QApplication* Application() const { return FApplication.get(); }

 protected:
  // In the first copy: the application, the settings (configuration,
  // languages, options), the main window with its language menu and
  // texts, and the single-instance block with the window's activation.
  // Nothing at all in a later copy.
  bool InitializeApplication() override;

 private:
  int& FArgc;
  char** FArgv;
  std::unique_ptr<QApplication> FApplication;
  std::unique_ptr<QSocketNotifier> FActivation;
};

// Configuration, then languages, then options. Always true.
bool LoadAppSettings();
// Creates "Langs/" beside a portable program when missing, reads the
// catalogue (shipped packs and the user's own), selects the configured
// language and records the one selected in the configuration file. True
// when a language with its string file is in force; otherwise the
// built-in texts stay.
bool InitializeAppLanguages();
// Options, then configuration.
void SaveAppSettings();

}  // namespace purgo
