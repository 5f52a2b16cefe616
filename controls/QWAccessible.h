// SPDX-License-Identifier: GPL-3.0-or-later
// What assistive technologies (screen readers, through Qt's accessibility
// bridge) are told about the skinned controls that are not Qt widgets of
// a known kind: a label is static text named by its caption, a link label
// a link that can be pressed (and is "traversed" once visited), a picture
// a graphic, a title bar a title bar named by its title. The image buttons
// are QAbstractButtons and need nothing of ours.
#pragma once

namespace purgo {

// Installs the interfaces once per process; the controls' constructors
// call it, so any window made of them is covered.
void InstallAccessibleControls();

}  // namespace purgo
