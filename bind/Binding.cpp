// Account binding (not built yet): every bind button reports a failed binding.
#include "app/MainDlg.h"

void CMainDlg::OnBindTencent() {}
bool CMainDlg::BindTencent() { return false; }
bool CMainDlg::GetTencentRequestToken() { return false; }
bool CMainDlg::AuthorizeTencent() { return false; }
bool CMainDlg::GetTencentAccessToken() { return false; }
void CMainDlg::OnBindSina() {}
bool CMainDlg::BindSina() { return false; }
bool CMainDlg::GetSinaRequestToken() { return false; }
bool CMainDlg::AuthorizeSina() { return false; }
bool CMainDlg::GetSinaAccessToken() { return false; }
bool CMainDlg::GetSinaUserInfo() { return false; }
void CMainDlg::OnBindSohu() {}
bool CMainDlg::BindSohu() { return false; }
bool CMainDlg::GetSohuRequestToken() { return false; }
bool CMainDlg::AuthorizeSohu() { return false; }
bool CMainDlg::GetSohuAccessToken() { return false; }
bool CMainDlg::GetSohuUserInfo() { return false; }
void CMainDlg::OnBindTwitter() {}
bool CMainDlg::BindTwitter() { return false; }
bool CMainDlg::GetTwitterRequestToken() { return false; }
bool CMainDlg::AuthorizeTwitter() { return false; }
bool CMainDlg::GetTwitterAccessToken() { return false; }
