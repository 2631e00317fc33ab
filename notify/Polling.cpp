// Background polling (not built yet): the workers only sleep.
#include "app/MainDlg.h"

void CMainDlg::PollTencent() { while (WorkerSleep(45000)) {} }
void CMainDlg::PollSina() { while (WorkerSleep(45000)) {} }
void CMainDlg::PollSohu() { while (WorkerSleep(30000)) {} }
void CMainDlg::PostServiceAlert(int kind, int count) { PostMessage(WM_SERVICE_ALERT, WPARAM(kind), LPARAM(count)); }
LRESULT CMainDlg::OnServiceAlert(WPARAM, LPARAM) { return 0; }
unsigned PollTencentThreadProc(CMainDlg* dlg) { dlg->PollTencent(); return 0; }
unsigned PollSinaThreadProc(CMainDlg* dlg) { dlg->PollSina(); return 0; }
unsigned PollSohuThreadProc(CMainDlg* dlg) { dlg->PollSohu(); return 0; }
