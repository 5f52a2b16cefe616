// What every window of the program uses to show itself over the main
// window: the modal display, the message box and bringing a window to the
// front.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace purgo {

// Windows message-box codes, kept as the interface: the low four bits of
// the type pick the buttons, the next four the icon.
inline constexpr int MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2,
                     MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4, MB_RETRYCANCEL = 0x5;
inline constexpr int MB_ICONHAND = 0x10, MB_ICONQUESTION = 0x20, MB_ICONEXCLAMATION = 0x30,
                     MB_ICONASTERISK = 0x40;
inline constexpr int IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6,
                     IDNO = 7;

// Shows AForm modally over AMainWindow and returns the form's modal result
// once the form is hidden. The main window is disabled meanwhile and is
// brought to the front again afterwards. Returns 0 at once, showing
// nothing, when either window is missing, the main window is not visible
// or is itself modal, or already has a modal child: one at a time.
// ACenter centres the form over the main window.
int DoModal(QWidget* AForm, QWidget* AMainWindow, bool ACenter);

// Shows a message box with the buttons and icon of the Windows type code
// ABoxType and returns the code of the button pressed (IDYES ...). The
// language id is accepted for the call's shape; the texts decide.
int ShowMessageBox(QWidget* AOwner, const QString& AText, const QString& ACaption,
                   int ALanguageID, int ABoxType);

// Restores a minimised window and raises and activates it. True when the
// window exists.
bool BringToFront(QWidget* AWindow);

// Tests answer message boxes here instead of a person: the hook gets the
// text, caption and type and returns the button code.
using MessageBoxHook = std::function<int(const QString& text, const QString& caption, int type)>;
void SetMessageBoxHookForTesting(MessageBoxHook hook);

}  // namespace purgo
