// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/UiServices.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QUrl>

#include "platform/Hooks.h"

namespace purgo {

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
    const QString text = QString::fromStdString(file);
    const QUrl url = QFileInfo(text).isAbsolute() ? QUrl::fromLocalFile(text) : QUrl::fromUserInput(text);
    return url.isValid() && QDesktopServices::openUrl(url);
  });
}

}  // namespace purgo
