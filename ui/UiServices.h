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

// Whether something other than the program places its windows: a window
// manager on X11 (one that announces itself, as EWMH asks), the
// compositor on Wayland and any other platform. False on X11 without a
// window manager and on the offscreen platform, where a window not moved
// opens at the screen's top-left corner.
bool WindowsArePlacedForUs();

// Centres a window not yet shown on the screen that holds the pointer
// (the primary one when none does), within its free area, when nothing
// else will place it (see WindowsArePlacedForUs); otherwise leaves it
// where it is. A window larger than that area keeps its top-left corner
// on it.
void PlaceOnPointerScreen(QWidget* AWindow);

}  // namespace purgo
