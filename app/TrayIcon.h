// CTrayIcon: one icon in the notification area. It adds the icon for a window, turns
// mouse notifications into the popup menu (right button) or the menu's first command
// (double click), and removes the icon when it is destroyed.
#pragma once
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <string>

#include "res/WinTypes.h"

class CDialog;
class QSystemTrayIcon;

class CTrayIcon {
 public:
  CTrayIcon() = default;
  virtual ~CTrayIcon();
  CTrayIcon(const CTrayIcon&) = delete;
  CTrayIcon& operator=(const CTrayIcon&) = delete;

  // Adds the icon; mouse events reach notifyWindow as callbackMessage(id, event).
  // False when there is no notification area or no live window.
  bool Create(CDialog* notifyWindow, UINT callbackMessage, const std::string& tooltip,
              const QIcon& icon, UINT id);
  void RemoveIcon();
  // 0 when id is not this icon's; otherwise 1, after showing the menu (WM_RBUTTONUP) or
  // running its first command (WM_LBUTTONDBLCLK). 0 also when the menu cannot be loaded.
  virtual LRESULT OnTrayNotification(WPARAM id, LPARAM event);

  bool IsEnabled() const { return m_bEnabled; }
  UINT Id() const { return m_nid.uID; }
  std::string Tooltip() const { return m_nid.szTip; }
  QSystemTrayIcon* Icon() const { return m_pIcon; }
  QMenu* ShownMenu() const { return m_pMenu; }  // the popup menu while it is open

  // True when the desktop has a notification area now (or a test pretends so).
  static bool IsAvailable();
  // True while the notification area that holds the icon is still there.
  bool IsHostPresent() const;

  // Where no notification area exists, Create fails; tests may pretend either way.
  static void SetAvailabilityOverride(int available);  // -1 = ask the desktop

 private:
  bool m_bEnabled = false;
  struct {
    CDialog* hWnd = nullptr;
    UINT uID = 0;
    UINT uFlags = 0;
    UINT uCallbackMessage = 0;
    char szTip[64] = {0};
  } m_nid;
  // The popup of the menu resource with its first entry as the default (bold).
  QMenu* BuildMenu(QWidget* parent) const;

  QSystemTrayIcon* m_pIcon = nullptr;
  QPointer<QMenu> m_pMenu;
  bool m_bOnPanel = false;
  QMenu* m_pPanelMenu = nullptr;  // the menu a StatusNotifierItem panel shows itself
};
