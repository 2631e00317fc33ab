// A flood of alerts through the real window: a worker raises them into the session's
// outbox as the polling workers do, a poll cycle's worth at a time, and the main window
// shows them in popups. Reports the most popups open at once, the peak resident size
// during the flood, and the resident size once every popup has closed, against the size
// before the flood.
//
//   alert_flood_bench [alerts [per cycle [tick ms]]]   (default 1000, 10, 10; offscreen
//                                                        unless QT_QPA_PLATFORM is set)
//
// One poll cycle per countdown tick: a popup lives sixteen ticks, so without a limit
// about sixteen cycles' worth of popups would be open at once.
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include "app/MainDlg.h"
#include "notify/AlertPopup.h"
#include "tests/support/AppHarness.h"

namespace {

double ResidentMiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The kernel's peak resident size of the process (VmHWM), in MiB; reset by ResetPeak.
double PeakResidentMiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      double kib = 0;
      status >> kib;
      return kib / 1024.0;
    }
    status.ignore(1 << 16, '\n');
  }
  return 0;
}

bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return bool(clear);
}

int OpenPopups(CMainDlg* dlg) {
  int open = 0;
  for (const CAlertPopup* p : dlg->findChildren<CAlertPopup*>())
    open += !p->IsWindowDestroyed() && p->isVisible();
  return open;
}

// Runs events until no popup has been open for a few rounds in a row (a popup waiting
// for a place opens from the event loop once the last one closes).
void SettlePopups(CMainDlg* dlg) {
  for (int quiet = 0; quiet < 5;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    quiet = dlg->findChildren<CAlertPopup*>().isEmpty() ? quiet + 1 : 0;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int alerts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const int perCycle = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
  const int tickMs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The offscreen platform complains about raising every topmost window and more.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && !text.contains("does not support"))
      std::fprintf(stderr, "%s\n", qPrintable(text));
  });
  CAppHarness::App();
  CAppHarness::FreshSettings("alert-flood-bench");
  CAppHarness harness;
  CMainDlg* dlg = harness.OpenWindow();
  // Unbound accounts (nothing is polled) whose names and server complete the addresses.
  CSession& session = dlg->Session();
  session.SetAccount(ServiceRow(EService::Tencent), {false, "", "", "tencent_user", ""});
  session.SetAccount(ServiceRow(EService::Sina), {false, "", "", "", "1904178193"});
  session.SetAccount(ServiceRow(EService::Sohu), {false, "", "", "", "20110815"});
  session.SetAccount(ServiceRow(EService::Mastodon), {false, "", "", "", "", "127.0.0.1:9"});
  long long delivered = 0;
  SetServiceAlertHook([&](int, long long) { ++delivered; });
  CAlertPopup::SetTickPeriodMs(tickMs);

  const int kinds[] = {1, 2, 3, 4, 11, 12, 13, 14, 23, 24, 31, 32};
  // Warm-up: one popup (fonts, styles, the platform's first allocations), until it closed.
  session.Alert(kinds[0], 1);
  SettlePopups(dlg);
  delivered = 0;
  const double before = ResidentMiB();
  const bool peakReset = ResetPeak();

  std::mt19937 random(20261207);  // the same flood on every run
  int peakOpen = 0;
  double peakSampled = before;
  QElapsedTimer clock;
  clock.start();
  for (int raised = 0; raised < alerts;) {
    const int n = std::min(perCycle, alerts - raised);
    std::thread worker([&] {
      for (int i = 0; i < n; ++i)
        session.Alert(kinds[random() % std::size(kinds)], 1 + int(random() % 3));
    });
    worker.join();
    raised += n;
    QElapsedTimer tick;
    tick.start();
    do {
      QCoreApplication::processEvents(QEventLoop::AllEvents, tickMs);
      peakOpen = std::max(peakOpen, OpenPopups(dlg));
    } while (tick.elapsed() < tickMs);
    peakSampled = std::max(peakSampled, ResidentMiB());
  }
  const double floodMs = double(clock.elapsed());
  SettlePopups(dlg);
  CAppHarness::Pump(500);
  const double settled = ResidentMiB();
  const double peak = peakReset ? std::max(PeakResidentMiB(), peakSampled) : peakSampled;

  std::printf("alerts: %d (%lld reached the window), %d per cycle, tick %d ms, flood %.0f ms\n",
              alerts, delivered, perCycle, tickMs, floodMs);
  std::printf("most popups open at once: %d\n", peakOpen);
  std::printf("resident MiB: before %.1f  peak %.1f (+%.1f)  settled %.1f (+%.1f)\n", before, peak,
              peak - before, settled, settled - before);
  return 0;
}
