// CDialog: building Qt widgets from resource templates and dispatching window messages.
#include "platform/Dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <utility>
#include <vector>

#include "platform/Accessible.h"
#include "platform/Translation.h"
#include "res/Resource.h"

namespace {

// Live dialogs by serial number, for delivering posted messages.
std::mutex g_dialogsMutex;
std::map<uint64_t, CDialog*> g_dialogs;
uint64_t g_nextSerial = 1;

QString FromAnsi(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string ToAnsi(const QString& s) { return s.toUtf8().toStdString(); }

// Edit controls keep "\r\n" line breaks; Qt keeps "\n".
QString ToWidgetLines(const std::string& s) {
  QString text = FromAnsi(s);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}
std::string FromWidgetLines(QString text) {
  text.replace(QChar('\n'), QStringLiteral("\r\n"));
  return ToAnsi(text);
}

// A label's text without the colon that ends it ("地址:" -> "地址"); empty when the
// text does not end in a colon, so only captions of fields count as labels.
QString FieldCaption(const QString& text) {
  if (!text.endsWith(QChar(':')) && !text.endsWith(QChar(0xFF1A))) return {};
  return text.chopped(1).trimmed();
}

// An edit control has no caption of its own. A screen reader names it after the label
// written just before it in the template, else after the group box it opens, else after
// the label just after it. The label also becomes its buddy, which AT-SPI reports as
// the "labelled by" relation. Nothing shown changes.
void NameEditsFromLabels(const std::vector<std::pair<const SControlDef*, QWidget*>>& built) {
  auto labelAt = [&built](size_t k) -> QLabel* {
    if (k >= built.size() || built[k].first->kind != ECtrlKind::Static) return nullptr;
    auto* label = qobject_cast<QLabel*>(built[k].second);
    return label && !FieldCaption(label->text()).isEmpty() ? label : nullptr;
  };
  for (size_t i = 0; i < built.size(); ++i) {
    QWidget* edit = built[i].second;
    if (built[i].first->kind != ECtrlKind::Edit) continue;
    QLabel* label = i > 0 ? labelAt(i - 1) : nullptr;
    if (!label && i > 0 && built[i - 1].first->kind == ECtrlKind::GroupBox) {
      edit->setAccessibleName(qobject_cast<QGroupBox*>(built[i - 1].second)->title());
      continue;
    }
    if (!label) label = labelAt(i + 1);
    if (label) {
      label->setBuddy(edit);
      edit->setAccessibleName(FieldCaption(label->text()));
    }
  }
}

}  // namespace

QFont TemplateFont(const SDialogDef& def) {
  QFont font;
  font.setFamilies({QString::fromUtf8(def.fontFace), QStringLiteral("SimSun"),
                    QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                    QStringLiteral("Noto Sans SC"), QStringLiteral("Droid Sans Fallback"),
                    QStringLiteral("sans-serif")});
  font.setPointSize(def.pointSize);
  return font;
}

QPoint DialogBaseUnitsOf(const QFont& font) {
  // Measuring text is the dearest part of building a dialog; every dialog of one font
  // has the same units, so they are measured once (dialogs are built on one thread).
  static QHash<QString, QPoint> cache;
  const QString key = font.key();
  auto it = cache.constFind(key);
  if (it != cache.constEnd()) return *it;
  QFontMetrics fm(font);
  const int width =
      fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const QPoint units((width / 26 + 1) / 2, fm.height());
  cache.insert(key, units);
  return units;
}

CDialog::CDialog(int templateId, QWidget* parent)
    : CDialog(FindDialogTemplate(templateId), parent) {}

CDialog::CDialog(const SDialogDef& def, QWidget* parent) : CDialog(&def, parent) {}

CDialog::CDialog(const SDialogDef* def, QWidget* parent) : QDialog(parent), m_template(def) {
  static const SDialogDef kEmpty = {0, "", 0, 0, "", 9, 100, 50, 0, {}, {}};
  if (!m_template) m_template = &kEmpty;
  InitUiThreadQueue();
  InstallButtonAccessibility();
  std::lock_guard<std::mutex> lock(g_dialogsMutex);
  m_serial = g_nextSerial++;
  g_dialogs[m_serial] = this;
}

CDialog::~CDialog() {
  m_closing = true;
  std::lock_guard<std::mutex> lock(g_dialogsMutex);
  g_dialogs.erase(m_serial);
}

CDialog* CDialog::FromSerial(uint64_t serial) {
  std::lock_guard<std::mutex> lock(g_dialogsMutex);
  auto it = g_dialogs.find(serial);
  return it == g_dialogs.end() ? nullptr : it->second;
}

void CDialog::BuildControls() {
  if (m_built) return;
  m_built = true;
  const SDialogDef& def = *m_template;

  Qt::WindowFlags flags = Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (def.exStyle & WS_EX_TOOLWINDOW)
    flags |= Qt::Tool;
  else if (def.exStyle & WS_EX_APPWINDOW)
    flags |= Qt::Window;
  else
    flags |= Qt::Dialog;
  if (def.style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (def.style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
  setWindowFlags(flags);
  // Captions, control texts and menus are the program's source texts: shown translated.
  setWindowTitle(TrQ(def.caption));

  QFont font = TemplateFont(def);
  setFont(font);
  m_baseUnits = DialogBaseUnitsOf(font);
  auto px = [this](int dlu, bool horizontal) {
    return horizontal ? (dlu * m_baseUnits.x()) / 4 : (dlu * m_baseUnits.y()) / 8;
  };

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  if (const auto* menu = def.menu     ? def.menu
                         : def.menuId ? FindMenuResource(def.menuId)
                                      : nullptr) {
    m_menuBar = new QMenuBar(this);
    for (const SMenuItemDef& popup : *menu) m_menuBar->addMenu(BuildPopupMenu(popup, m_menuBar));
    layout->setMenuBar(m_menuBar);
  }
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(px(def.cx, true), px(def.cy, false));
  // Group boxes as dialogs draw them: the frame line runs through the middle of the title.
  client->setStyleSheet(QStringLiteral(
      "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
      "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
      " left: 6px; padding: 0 2px; }"));
  layout->addWidget(client);

  QButtonGroup* radioGroup = nullptr;
  std::vector<std::pair<const SControlDef*, QWidget*>> built;
  for (const SControlDef& c : def.controls) {
    if (c.kind == ECtrlKind::RadioButton && (c.style & WS_GROUP)) radioGroup = nullptr;
    QWidget* w = CreateControl(c, client);
    w->setGeometry(px(c.x, true), px(c.y, false), px(c.cx, true), px(c.cy, false));
    if (auto* radio = qobject_cast<QRadioButton*>(w)) {
      // Auto radio buttons form one exclusive group from a WS_GROUP button to the next.
      // Assistive technology still meets them as radio buttons (platform/Accessible.cpp).
      radio->setAutoExclusive(false);
      if (!radioGroup) {
        radioGroup = new QButtonGroup(w->parent());
        radioGroup->setExclusive(false);  // a group may have no button checked
      }
      radioGroup->addButton(radio);
      radio->setProperty("radioGroup", QVariant::fromValue<QObject*>(radioGroup));
    }
    if (c.id != IDC_STATIC) m_controls[c.id] = w;
    built.emplace_back(&c, w);
  }
  NameEditsFromLabels(built);

  // Focus: tab stops in the template's order; everything else is skipped by Tab.
  QWidget* previous = nullptr;
  for (int id : def.tabOrder) {
    auto it = m_controls.find(id);
    if (it == m_controls.end()) continue;
    if (previous) QWidget::setTabOrder(previous, it->second);
    previous = it->second;
  }
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget* CDialog::CreateControl(const SControlDef& c, QWidget* parent) {
  QWidget* w = nullptr;
  const QString text = TrQ(c.text);
  const char* winClass = "Button";
  const uint32_t kind = c.style & 0xF;
  switch (c.kind) {
    case ECtrlKind::GroupBox:
      w = new QGroupBox(text, parent);
      break;
    case ECtrlKind::PushButton: {
      auto* b = new QPushButton(text, parent);
      // Enter goes to the default button only; a focused push button does not take it.
      b->setAutoDefault(false);
      b->setDefault(kind == BS_DEFPUSHBUTTON);
      const int id = c.id;
      connect(b, &QPushButton::clicked, this,
              [this, id] { WindowProc(WM_COMMAND, WPARAM(id), 0); });
      w = b;
      break;
    }
    case ECtrlKind::CheckBox: {
      auto* b = new QCheckBox(text, parent);
      const int id = c.id;
      connect(b, &QCheckBox::clicked, this, [this, id] { WindowProc(WM_COMMAND, WPARAM(id), 0); });
      w = b;
      break;
    }
    case ECtrlKind::RadioButton: {
      auto* b = new QRadioButton(text, parent);
      const int id = c.id;
      connect(b, &QRadioButton::clicked, this, [this, id, b] {
        // Clicking an auto radio button checks it and clears the rest of its group.
        if (auto* group = qobject_cast<QButtonGroup*>(b->property("radioGroup").value<QObject*>()))
          for (QAbstractButton* other : group->buttons()) other->setChecked(other == b);
        WindowProc(WM_COMMAND, WPARAM(id), 0);
      });
      w = b;
      break;
    }
    case ECtrlKind::Edit: {
      winClass = "Edit";
      if (c.style & ES_MULTILINE) {
        auto* e = new QPlainTextEdit(parent);
        e->setReadOnly(c.style & ES_READONLY);
        e->setLineWrapMode((c.style & WS_HSCROLL) ? QPlainTextEdit::NoWrap
                                                  : QPlainTextEdit::WidgetWidth);
        e->setVerticalScrollBarPolicy((c.style & WS_VSCROLL) ? Qt::ScrollBarAlwaysOn
                                                             : Qt::ScrollBarAsNeeded);
        e->setHorizontalScrollBarPolicy((c.style & WS_HSCROLL) ? Qt::ScrollBarAlwaysOn
                                                               : Qt::ScrollBarAlwaysOff);
        e->setTabChangesFocus(true);
        if (c.exStyle & WS_EX_TRANSPARENT) e->viewport()->setAutoFillBackground(false);
        w = e;
      } else {
        auto* e = new QLineEdit(parent);
        e->setReadOnly(c.style & ES_READONLY);
        if (c.style & ES_NUMBER)
          e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), e));
        if (!(c.style & WS_BORDER)) e->setFrame(false);
        w = e;
      }
      break;
    }
    case ECtrlKind::Static: {
      winClass = "Static";
      auto* l = new QLabel(text, parent);
      l->setTextFormat(Qt::PlainText);
      w = l;
      break;
    }
  }
  if (!(c.style & WS_TABSTOP) && c.kind != ECtrlKind::Edit) w->setFocusPolicy(Qt::NoFocus);
  if (c.kind == ECtrlKind::Edit && !(c.style & WS_TABSTOP)) w->setFocusPolicy(Qt::ClickFocus);
  w->setProperty("ctrlId", c.id);
  w->setProperty("winClass", QString::fromLatin1(winClass));
  w->setProperty("winStyle", uint(c.style));
  w->setObjectName(QStringLiteral("ctrl_%1").arg(c.id));
  return w;
}

QMenu* CDialog::BuildPopupMenu(const SMenuItemDef& popup, QWidget* parent) {
  auto* menu = new QMenu(TrQ(popup.text), parent);
  for (const SMenuItemDef& item : popup.items) {
    if (!item.text) {
      menu->addSeparator();
    } else if (!item.items.empty()) {
      menu->addMenu(BuildPopupMenu(item, menu));
    } else {
      QAction* action = menu->addAction(TrQ(item.text));
      action->setData(item.id);
      const int id = item.id;
      connect(action, &QAction::triggered, this,
              [this, id] { WindowProc(WM_COMMAND, WPARAM(id), 0); });
    }
  }
  return menu;
}

int CDialog::DoModal() {
  BuildControls();
  OnInitDialog();
  // A loop of our own instead of QDialog::exec(), whose loop also ends when the window
  // is hidden: a modal window may hide and show again (the main window lives in the
  // notification area) and its run ends only through EndDialog.
  // A modal dialog blocks the windows of the program while it runs, as a dialog with an
  // owner disables it. One without an owner (the main window) blocks nothing: otherwise
  // its own notification-area icon (an XEmbed tray's is a window of the program) and its
  // alert popups would not take a click while it is on screen.
  const bool wasShowModal = testAttribute(Qt::WA_ShowModal);
  setAttribute(Qt::WA_ShowModal, parentWidget() != nullptr);
  setResult(0);
  QEventLoop loop;
  m_modalLoop = &loop;
  m_modalResult = 0;
  show();
  loop.exec(QEventLoop::DialogExec);
  // Only an application-wide quit ends the loop otherwise: the window then closes as its
  // close box would close it.
  if (m_modalLoop) WindowProc(WM_CLOSE, 0, 0);
  m_modalLoop = nullptr;
  setAttribute(Qt::WA_ShowModal, wasShowModal);
  return m_modalResult;
}

bool CDialog::Create(QWidget* parent) {
  if (parent) {
    const Qt::WindowFlags flags = windowFlags();
    setParent(parent);
    setWindowFlags(flags);
  }
  BuildControls();
  OnInitDialog();
  return true;
}

void CDialog::EndDialog(int result) {
  if (QEventLoop* loop = m_modalLoop) {
    m_modalLoop = nullptr;
    m_modalResult = result;
    done(result);
    loop->exit(result);
  } else {
    hide();
  }
}

void CDialog::DestroyWindow() {
  if (m_destroyed) return;
  m_destroyed = true;
  m_closing = true;
  for (const auto& [qtId, id] : m_qtTimerToId) killTimer(qtId);
  m_qtTimerToId.clear();
  m_idToQtTimer.clear();
  hide();
  PostNcDestroy();
}

bool CDialog::OnInitDialog() {
  // The first control that takes the focus gets it, as a dialog manager does.
  for (int id : m_template->tabOrder) {
    QWidget* w = GetDlgItem(id);
    if (w && w->isEnabled() && w->focusPolicy() != Qt::NoFocus) {
      w->setFocus(Qt::OtherFocusReason);
      break;
    }
  }
  return true;
}

void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::OnMessage(UINT msg, Handler handler) { m_messageMap[msg] = std::move(handler); }
void CDialog::OnCommand(int id, std::function<void()> handler) {
  m_commandMap[id] = std::move(handler);
}

LRESULT CDialog::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND) {
    const int id = int(wParam & 0xFFFF);
    auto it = m_commandMap.find(id);
    if (it != m_commandMap.end()) {
      it->second();
      return 0;
    }
    if (id == IDOK) OnOK();
    if (id == IDCANCEL) OnCancel();
    return 0;
  }
  auto it = m_messageMap.find(msg);
  if (it != m_messageMap.end()) return it->second(wParam, lParam);
  if (msg == WM_CLOSE) OnCancel();
  return 0;
}

void CDialog::timerEvent(QTimerEvent* e) {
  auto it = m_qtTimerToId.find(e->timerId());
  if (it == m_qtTimerToId.end()) return QDialog::timerEvent(e);
  WindowProc(WM_TIMER, WPARAM(it->second), 0);
}

void CDialog::changeEvent(QEvent* e) {
  QDialog::changeEvent(e);
  if (e->type() == QEvent::WindowStateChange)
    WindowProc(WM_SIZE, isMinimized() ? SIZE_MINIMIZED : SIZE_RESTORED, 0);
}

void CDialog::closeEvent(QCloseEvent* e) {
  // The close box sends WM_CLOSE; the handler decides whether the window goes away.
  e->ignore();
  WindowProc(WM_CLOSE, 0, 0);
}

void CDialog::accept() { WindowProc(WM_COMMAND, IDOK, 0); }
void CDialog::reject() { WindowProc(WM_COMMAND, IDCANCEL, 0); }

void CDialog::SetTimer(uintptr_t id, int elapseMs) {
  KillTimer(id);
  const int qtId = startTimer(elapseMs);
  if (qtId == 0) return;
  m_qtTimerToId[qtId] = id;
  m_idToQtTimer[id] = qtId;
}

void CDialog::KillTimer(uintptr_t id) {
  auto it = m_idToQtTimer.find(id);
  if (it == m_idToQtTimer.end()) return;
  killTimer(it->second);
  m_qtTimerToId.erase(it->second);
  m_idToQtTimer.erase(it);
}

void CDialog::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  const uint64_t serial = m_serial;
  PostToUiThread([serial, msg, wParam, lParam] {
    if (CDialog* target = FromSerial(serial)) target->WindowProc(msg, wParam, lParam);
  });
}

LRESULT CDialog::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallOnUi<LRESULT>([=](CDialog* d) { return d->WindowProc(msg, wParam, lParam); }, 0);
}

template <class R>
R CDialog::CallOnUi(std::function<R(CDialog*)> fn, R neutral) const {
  CDialog* self = const_cast<CDialog*>(this);
  if (IsUiThread()) return fn(self);
  auto result = std::make_shared<R>(neutral);
  QPointer<CDialog> target(self);
  const bool ran = SendToUiThread(
      [result, fn, target] {
        if (target) *result = fn(target.data());
      },
      &m_closing);
  return ran ? *result : neutral;
}

bool CDialog::RunOnUiThread(std::function<void()> fn) {
  return CallOnUi<bool>(
      [fn](CDialog*) {
        fn();
        return true;
      },
      false);
}

QWidget* CDialog::GetDlgItem(int id) const {
  auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : it->second;
}

std::string CDialog::GetDlgItemText(int id) const {
  return CallOnUi<std::string>(
      [id](CDialog* d) -> std::string {
        d->SyncControl(id);
        QWidget* w = d->GetDlgItem(id);
        if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return FromWidgetLines(e->toPlainText());
        if (auto* e = qobject_cast<QLineEdit*>(w)) return ToAnsi(e->text());
        if (auto* b = qobject_cast<QAbstractButton*>(w)) return ToAnsi(b->text());
        if (auto* l = qobject_cast<QLabel*>(w)) return ToAnsi(l->text());
        if (auto* g = qobject_cast<QGroupBox*>(w)) return ToAnsi(g->title());
        return {};
      },
      std::string());
}

void CDialog::SetDlgItemText(int id, const std::string& text) {
  CallOnUi<int>(
      [id, text](CDialog* d) {
        QWidget* w = d->GetDlgItem(id);
        if (auto* e = qobject_cast<QPlainTextEdit*>(w))
          e->setPlainText(ToWidgetLines(text));
        else if (auto* e = qobject_cast<QLineEdit*>(w))
          e->setText(FromAnsi(text));
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
          b->setText(FromAnsi(text));
        else if (auto* l = qobject_cast<QLabel*>(w))
          l->setText(FromAnsi(text));
        else if (auto* g = qobject_cast<QGroupBox*>(w))
          g->setTitle(FromAnsi(text));
        return 0;
      },
      0);
}

int CDialog::IsDlgButtonChecked(int id) const {
  return CallOnUi<int>(
      [id](CDialog* d) {
        auto* b = qobject_cast<QAbstractButton*>(d->GetDlgItem(id));
        return (b && b->isCheckable() && b->isChecked()) ? BST_CHECKED : BST_UNCHECKED;
      },
      BST_UNCHECKED);
}

void CDialog::CheckDlgButton(int id, int state) {
  CallOnUi<int>(
      [id, state](CDialog* d) {
        auto* b = qobject_cast<QAbstractButton*>(d->GetDlgItem(id));
        if (b && b->isCheckable()) b->setChecked(state != BST_UNCHECKED);
        return 0;
      },
      0);
}

void CDialog::EnableDlgItem(int id, bool enable) {
  CallOnUi<int>(
      [id, enable](CDialog* d) {
        if (QWidget* w = d->GetDlgItem(id)) w->setEnabled(enable);
        return 0;
      },
      0);
}

bool CDialog::IsDlgItemEnabled(int id) const {
  return CallOnUi<bool>(
      [id](CDialog* d) {
        QWidget* w = d->GetDlgItem(id);
        return w && w->isEnabled();
      },
      false);
}

QWidget* ApplicationMainWindow() {
  QWidget* found = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<CDialog*>(widget);
    if (!dialog || dialog->Template().id != IDD_MAIN || dialog->ClosingFlag()->load()) continue;
    if (dialog->isVisible()) return dialog;
    if (!found) found = dialog;
  }
  return found;
}
