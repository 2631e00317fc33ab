// Menu commands of the main window: quick access to the services' sites, help, the
// proxy dialog, and the start-with-the-system box. (Not built yet.)
#include "app/MainDlg.h"

void CMainDlg::OnAutoRunClicked() {}
void CMainDlg::SetAutoRun(bool) {}
void CMainDlg::OnOpenSinaWeb() {}
void CMainDlg::OnOpenTencentWeb() {}
void CMainDlg::OnOpenSohuWeb() {}
void CMainDlg::OnOpenTwitterWeb() {}
void CMainDlg::OnHelpUsage() {}
void CMainDlg::OnHelpBlog() {}
void CMainDlg::OnHelpContact() {}
void CMainDlg::OnHelpAbout() {}
void CMainDlg::OnProxySettings() {}
