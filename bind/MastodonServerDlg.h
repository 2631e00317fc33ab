// CMastodonServerDlg: the small modal dialog that asks which Mastodon server to bind to,
// before the binding opens the server's authorisation page.
#pragma once
#include <string>

#include "platform/Dialog.h"

class CMastodonServerDlg : public CDialog {
  Q_OBJECT
 public:
  // Without a parent the application's main window owns the dialog, so the dialog is
  // modal over it.
  explicit CMastodonServerDlg(QWidget* parent = nullptr);

  // In: the server the field offers. Out: the text that OK accepted, without white space
  // around it; empty when cancelled. Whether it names a usable server is checked by the
  // binding, not here.
  std::string m_strServer;

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
};
