// SPDX-License-Identifier: GPL-3.0-or-later
// A web page that opens with no program, on a bus of the test's own: the
// user is told the address did not open; once a (stand-in) portal is on
// the bus, it is asked to let the user choose the program instead.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QTest>

#include "i18n/AppMultiLangs.h"
#include "tests/Sandbox.h"
#include "ui/UiServices.h"
#include "ui/_PGCForm_Helper.h"

namespace purgo {
namespace {

struct StandInPortal : QDBusVirtualObject {
  std::vector<QDBusMessage> calls;
  bool handleMessage(const QDBusMessage& m, const QDBusConnection&) override {
    calls.push_back(m);
    return true;
  }
  QString introspect(const QString&) const override { return {}; }
};

TEST(OpenWith, ThePortalChoosesTheProgramOrTheUserIsTold) {
  test::Sandbox box;
  const std::string config = box.MakeFile(
      "bus.conf", "<busconfig><type>session</type><listen>unix:dir=" + box.Path("") +
                      "</listen><policy context=\"default\"><allow send_destination=\"*\"/>"
                      "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>");
  QProcess daemon;
  daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                                              QStringLiteral("--config-file=") + QString::fromStdString(config)});
  ASSERT_TRUE(daemon.waitForReadyRead(5000));
  const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
  CreateAppMultiLangs();  // the built-in texts
  std::vector<QString> warnings;
  SetMessageBoxHookForTesting([&](const QString& text, const QString&, int) {
    warnings.push_back(text);
    return IDOK;
  });
  {
    const QDBusConnection purgo = QDBusConnection::connectToBus(address, QStringLiteral("purgo"));
    QDBusConnection desktop = QDBusConnection::connectToBus(address, QStringLiteral("desktop"));
    ChooseProgramFor(purgo, QStringLiteral("/doc/help.htm"));
    EXPECT_EQ(warnings, std::vector<QString>{QStringLiteral("/doc/help.htm could not be opened.")});

    StandInPortal portal;
    ASSERT_TRUE(desktop.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
    ASSERT_TRUE(desktop.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal));
    ChooseProgramFor(purgo, QStringLiteral("/doc/help.htm"));
    QTRY_COMPARE(portal.calls.size(), 1u);
    EXPECT_EQ(warnings.size(), 1u);
    const QDBusMessage& call = portal.calls[0];
    EXPECT_EQ(call.interface() + QLatin1Char('.') + call.member(), QStringLiteral("org.freedesktop.portal.OpenURI.OpenURI"));
    ASSERT_EQ(call.arguments().size(), 3);
    EXPECT_EQ(call.arguments()[1].toString(), QStringLiteral("file:///doc/help.htm"));
    EXPECT_TRUE(qdbus_cast<QVariantMap>(call.arguments()[2]).value(QStringLiteral("ask")).toBool());
    desktop.unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("purgo"));
  QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
  SetMessageBoxHookForTesting(nullptr);
  FreeAppMultiLangs();
  daemon.kill();
  daemon.waitForFinished();
}

}  // namespace
}  // namespace purgo
