// SPDX-License-Identifier: GPL-3.0-or-later
// The services the windows give the core: draining the message queue
// from inside long walks, opening documents and addresses with the
// desktop's handler, and letting the user choose a program for a web page
// that has none.
#pragma once

#include <QString>

class QDBusConnection;
class QWidget;

namespace purgo {

// Installs the hooks; needs the application object.
void InstallUiServices();

// Asks the desktop portal on ABus (its OpenURI call with "ask") to let the
// user choose the program that opens AAddress, over AParent. False, with
// nothing asked, when no portal is on that bus.
bool AskPortalToChooseProgram(const QDBusConnection& ABus, const QString& AAddress, QWidget* AParent);

// What a web page that opens with no program gets: the chooser of the
// portal on ABus (the session bus) where there is one, else a warning
// that names the address.
void ChooseProgramFor(const QDBusConnection& ABus, const QString& AAddress);

}  // namespace purgo
