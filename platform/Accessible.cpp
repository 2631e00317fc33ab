// Check boxes and radio buttons for assistive technology.
// The dialog's auto radio buttons keep auto-exclusivity off and sit in a non-exclusive
// group, because a group may have no button checked; Qt describes such a button as a check
// box. And Qt's action for a check box or radio button only toggles it, without the click
// the dialog acts on: a screen reader could tick "start with the system" without the
// autostart entry being written, or check two radio buttons of one group.
// This interface reports the right role and makes the action a click, which the dialog
// handles like a mouse click.
#include "platform/Accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QRadioButton>

namespace {

class CButtonAccessible : public QAccessibleWidget {
 public:
  CButtonAccessible(QAbstractButton* button, QAccessible::Role role)
      : QAccessibleWidget(button, role) {}

  QString text(QAccessible::Text t) const override {
    if (t != QAccessible::Name) return QAccessibleWidget::text(t);
    if (!widget()->accessibleName().isEmpty()) return widget()->accessibleName();
    // The caption without its mnemonic marks ("&&" stands for a literal "&").
    const QString caption = Button()->text();
    QString name;
    for (qsizetype i = 0; i < caption.size(); ++i) {
      if (caption[i] == QChar('&') && i + 1 < caption.size()) ++i;
      name += caption[i];
    }
    return name;
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.checkable = true;
    s.checked = Button()->isChecked();
    return s;
  }

  QStringList actionNames() const override {
    QStringList names;
    // A check box toggles; a radio button is pressed (it cannot be cleared by the user).
    if (widget()->isEnabled())
      names << (role() == QAccessible::RadioButton ? pressAction() : toggleAction());
    return names + QAccessibleWidget::actionNames();
  }

  void doAction(const QString& action) override {
    if (action == pressAction() || action == toggleAction()) {
      if (widget()->isEnabled()) Button()->click();
      return;
    }
    QAccessibleWidget::doAction(action);
  }

 private:
  QAbstractButton* Button() const { return static_cast<QAbstractButton*>(widget()); }
};

QAccessibleInterface* ButtonFactory(const QString& className, QObject* object) {
  if (!object || !object->isWidgetType()) return nullptr;
  if (className == QLatin1String("QRadioButton"))
    return new CButtonAccessible(static_cast<QRadioButton*>(object), QAccessible::RadioButton);
  if (className == QLatin1String("QCheckBox"))
    return new CButtonAccessible(static_cast<QCheckBox*>(object), QAccessible::CheckBox);
  return nullptr;
}

}  // namespace

void InstallButtonAccessibility() {
  // Factories installed later are asked first, so this one comes before Qt's own.
  static const bool installed = (QAccessible::installFactory(&ButtonFactory), true);
  (void)installed;
}
