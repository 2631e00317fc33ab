// CDialog: a dialog built from a resource template, the stand-in for the Windows dialog
// framework. Controls are addressed by numeric id; a dispatch table maps messages and
// command ids to handlers; posted messages, sent messages and control access work from
// any thread; window timers; modal and modeless use.
#pragma once
#include <QDialog>
#include <QPointer>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/UiThread.h"
#include "res/Templates.h"
#include "res/WinTypes.h"

class QMenuBar;
class QMenu;
class QEventLoop;

class CDialog : public QDialog {
  Q_OBJECT
 public:
  using Handler = std::function<LRESULT(WPARAM, LPARAM)>;

  explicit CDialog(int templateId, QWidget* parent = nullptr);
  // A template of the window's own making (it must outlive the dialog).
  explicit CDialog(const SDialogDef& def, QWidget* parent = nullptr);
  ~CDialog() override;

  // Builds the controls, runs OnInitDialog and the modal loop; the EndDialog result.
  int DoModal();
  // Builds the controls and runs OnInitDialog for a modeless window (not shown yet).
  bool Create(QWidget* parent);
  // Ends a modal loop with result; hides a modeless window.
  void EndDialog(int result);
  // Destroys the window of a modeless dialog: hides it, then PostNcDestroy.
  void DestroyWindow();
  bool IsWindowDestroyed() const { return m_destroyed; }

  const SDialogDef& Template() const { return *m_template; }

  // Controls by id. Safe from any thread: off the user-interface thread the call runs
  // there and waits (given up, with a neutral result, while the window is closing).
  QWidget* GetDlgItem(int id) const;  // user-interface thread only
  std::string GetDlgItemText(int id) const;
  void SetDlgItemText(int id, const std::string& text);
  int IsDlgButtonChecked(int id) const;
  void CheckDlgButton(int id, int state);
  void EnableDlgItem(int id, bool enable);
  bool IsDlgItemEnabled(int id) const;

  // Window messages. PostMessage queues and returns; SendMessage runs the handler on the
  // user-interface thread and returns its result (0 when given up).
  void PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

  // Window timers (user-interface thread): WM_TIMER with the id every elapseMs.
  void SetTimer(uintptr_t id, int elapseMs);
  void KillTimer(uintptr_t id);

  // The menu loaded from a menu resource (the template's menu bar, or any popup).
  QMenuBar* MenuBar() const { return m_menuBar; }
  // Builds a popup menu from a menu resource entry; actions send WM_COMMAND to this window.
  QMenu* BuildPopupMenu(const SMenuItemDef& popup, QWidget* parent);

  // The dialog unit to pixel scale of this dialog's font (Windows rule).
  QPoint DialogBaseUnits() const { return m_baseUnits; }

  // Runs fn on the user-interface thread and waits (directly when already there); given
  // up while the window closes, in which case fn never runs. True when fn ran.
  bool RunOnUiThread(std::function<void()> fn);

  // Raised while the window closes; cross-thread waits give up when it is set.
  const std::atomic<bool>* ClosingFlag() const { return &m_closing; }

 protected:
  // Dispatch table: the message map.
  void OnMessage(UINT msg, Handler handler);
  void OnCommand(int id, std::function<void()> handler);

  virtual bool OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  // Called after DestroyWindow; a heap-allocated modeless dialog deletes itself here.
  virtual void PostNcDestroy() {}
  // Runs the handler of a message (the window procedure).
  virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
  // Marks the window as closing (cross-thread waits give up from now on).
  void BeginClosing() { m_closing = true; }
  // Called on the user-interface thread before the text of control id is read: a window
  // whose control takes its updates in batches brings it up to date here.
  virtual void SyncControl(int /*id*/) {}

  // Qt plumbing
  void timerEvent(QTimerEvent* e) override;
  void changeEvent(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void accept() override;
  void reject() override;

 private:
  CDialog(const SDialogDef* def, QWidget* parent);
  template <class R>
  R CallOnUi(std::function<R(CDialog*)> fn, R neutral) const;
  void BuildControls();
  QWidget* CreateControl(const SControlDef& def, QWidget* parent);

  const SDialogDef* m_template;
  bool m_built = false;
  QEventLoop* m_modalLoop = nullptr;  // the running modal loop of DoModal
  int m_modalResult = 0;
  bool m_destroyed = false;
  std::atomic<bool> m_closing{false};
  QPoint m_baseUnits;
  QMenuBar* m_menuBar = nullptr;
  std::map<int, QWidget*> m_controls;
  std::map<UINT, Handler> m_messageMap;
  std::map<int, std::function<void()>> m_commandMap;
  // Posted messages find their window by serial number, so one posted to a window that
  // has since gone is dropped instead of reaching freed memory (or a newer window).
  static CDialog* FromSerial(uint64_t serial);
  uint64_t m_serial = 0;
  std::map<int, uintptr_t> m_qtTimerToId;
  std::map<uintptr_t, int> m_idToQtTimer;
};

// The base units (average character width, character height) of a font, the Windows way.
QPoint DialogBaseUnitsOf(const QFont& font);
// The template's font with CJK fallbacks behind it.
QFont TemplateFont(const SDialogDef& def);
// The application's main window: the main-window dialog that is still open, preferring
// a visible one. Null when there is none (a dialog then has no owner).
QWidget* ApplicationMainWindow();
