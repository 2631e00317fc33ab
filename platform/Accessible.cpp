// Radio buttons for assistive technology. The dialog's auto radio buttons keep
// auto-exclusivity off and sit in a non-exclusive group, because a group may have no
// button checked. Qt describes such a button as a check box, and its action only toggles
// the button (no click), so an assistive tool could check two buttons of one group.
// This interface reports a radio button and makes its action a click, which the dialog
// handles like a mouse click: the button is checked and the rest of its group cleared.
#include "platform/Accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QRadioButton>

namespace {

class CRadioButtonAccessible : public QAccessibleWidget {
 public:
  explicit CRadioButtonAccessible(QRadioButton* button)
      : QAccessibleWidget(button, QAccessible::RadioButton) {}

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
    if (widget()->isEnabled()) names << pressAction();
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
  QRadioButton* Button() const { return static_cast<QRadioButton*>(widget()); }
};

QAccessibleInterface* RadioButtonFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("QRadioButton") && object && object->isWidgetType())
    return new CRadioButtonAccessible(static_cast<QRadioButton*>(object));
  return nullptr;
}

}  // namespace

void InstallRadioButtonAccessibility() {
  // Factories installed later are asked first, so this one comes before Qt's own.
  static const bool installed = (QAccessible::installFactory(&RadioButtonFactory), true);
  (void)installed;
}
