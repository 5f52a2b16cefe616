// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/QWAccessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QString>

#include "controls/QWLabel.h"

namespace purgo {
namespace {

class TLabelAccessible : public QAccessibleWidget {
 public:
  explicit TLabelAccessible(TQelCustomLabel* ALabel) : QAccessibleWidget(ALabel, QAccessible::StaticText) {}

  QString text(QAccessible::Text t) const override {
    const QString own = QAccessibleWidget::text(t);
    if (t != QAccessible::Name || !own.isEmpty()) return own;
    return static_cast<const TQelCustomLabel*>(object())->Caption();
  }
};

class TLinkAccessible : public TLabelAccessible {
 public:
  explicit TLinkAccessible(TQelURLLabel* ALink) : TLabelAccessible(ALink) {}

  QAccessible::Role role() const override { return QAccessible::Link; }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.linked = true;
    s.traversed = Link()->Visited();
    return s;
  }

  QStringList actionNames() const override {
    QStringList names = QAccessibleWidget::actionNames();
    if (Link()->isEnabled()) names.prepend(pressAction());
    return names;
  }

  void doAction(const QString& AName) override {
    if (AName == pressAction() && Link()->isEnabled()) {
      Link()->Click();
      return;
    }
    QAccessibleWidget::doAction(AName);
  }

 private:
  TQelURLLabel* Link() const { return static_cast<TQelURLLabel*>(object()); }
};

class TTitleBarAccessible : public QAccessibleWidget {
 public:
  explicit TTitleBarAccessible(TQelTitleBar* ABar) : QAccessibleWidget(ABar, QAccessible::TitleBar) {}

  QString text(QAccessible::Text t) const override {
    const QString own = QAccessibleWidget::text(t);
    if (t != QAccessible::Name || !own.isEmpty()) return own;
    return static_cast<const TQelTitleBar*>(object())->Title();
  }
};

QAccessibleInterface* Factory(const QString& AClass, QObject* AObject) {
  if (AClass == QLatin1String("purgo::TQelURLLabel")) {
    return new TLinkAccessible(static_cast<TQelURLLabel*>(AObject));
  }
  if (AClass == QLatin1String("purgo::TQelCustomLabel")) {
    return new TLabelAccessible(static_cast<TQelCustomLabel*>(AObject));
  }
  if (AClass == QLatin1String("purgo::TQelTitleBar")) {
    return new TTitleBarAccessible(static_cast<TQelTitleBar*>(AObject));
  }
  if (AClass == QLatin1String("purgo::TQelImage")) {
    return new QAccessibleWidget(static_cast<QWidget*>(AObject), QAccessible::Graphic);
  }
  return nullptr;
}

}  // namespace

void InstallAccessibleControls() {
  static const bool installed = [] {
    QAccessible::installFactory(&Factory);
    return true;
  }();
  (void)installed;
}

}  // namespace purgo
