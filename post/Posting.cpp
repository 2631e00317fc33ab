// Posting (not built yet).
#include "app/MainDlg.h"

void CMainDlg::OnSend() {}
bool CMainDlg::PostToTickedServices() { return false; }
bool CMainDlg::PostToTencent(std::string, std::string) { return false; }
bool CMainDlg::PostToSina(std::string, std::string) { return false; }
bool CMainDlg::PostToSohu(std::string, std::string) { return false; }
bool CMainDlg::PostToTwitter(std::string, std::string) { return false; }
void CMainDlg::OnSinaTargetClicked() {}
void CMainDlg::OnOtherTargetClicked() {}
void CMainDlg::OnBrowsePicture() {}
std::string CMainDlg::ChoosePictureFile() { return {}; }
void CMainDlg::OnDropFiles(const std::vector<std::string>&) {}
unsigned SendThreadProc(CMainDlg*) { return 0; }
