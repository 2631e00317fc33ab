// Background polling: one worker each for the polled services (Tencent, Sina, Sohu,
// Mastodon). The worker's own CPollWorker keeps what it saw in the previous cycle (the
// counters, or the newest notification); what grew while its alert option is ticked
// posts WM_SERVICE_ALERT to the main window. A service may ask for a longer pause.
#include "notify/Polling.h"

#include "app/MainDlg.h"

void CMainDlg::StartPolling() {
  for (const SServiceRow* row : ServiceRows()) {
    if (!row->poll) continue;
    StartWorker([row](CMainDlg* dlg) {
      CPollWorker worker(*row);
      const SServiceIo io = dlg->ServiceIo(row->id);
      do {
        worker.PollOnce(dlg->m_state, io);
      } while (dlg->WorkerSleep(worker.NextSleepMs()));
      return 0u;
    });
  }
}

void CMainDlg::PostServiceAlert(int kind, int count) {
  PostMessage(WM_SERVICE_ALERT, WPARAM(kind), LPARAM(count));
}
