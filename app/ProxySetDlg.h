// CProxySetDlg: the modal proxy settings dialog. It edits the main window's four proxy
// fields (where the proxy applies, its protocol, its IPv4 address and port) and stores
// them in the settings file when the user confirms.
#pragma once
#include "platform/Dialog.h"

class CMainDlg;

class CProxySetDlg : public CDialog {
  Q_OBJECT
 public:
  // The dialog edits main's proxy fields and is modal over main.
  explicit CProxySetDlg(CMainDlg* main);

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  CMainDlg* m_pMain;
};
