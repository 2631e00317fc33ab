// Shows and closes thousands of alert popups and reports the resident size of the
// process (from /proc/self/statm) along the way: popups delete themselves, so the size
// must stay close to where it began. Runs on the offscreen platform unless told otherwise.
#include <unistd.h>

#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "notify/AlertPopup.h"
#include "notify/PollFlow.h"
#include "services/Registry.h"

namespace {

double ResidentMb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void Drain() {
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

CAlertPopup* Show(QWidget* parent, int i) {
  static const int kKinds[] = {1, 2, 3, 4, 11, 12, 13, 14, 23, 24};
  static CSession state;  // the accounts' names complete some addresses
  static bool named = false;
  if (!named) {
    named = true;
    state.SetAccount(*FindServiceRow("QQ"), {true, "", "", "tencent_user", ""});
    state.SetAccount(*FindServiceRow("Sina"), {true, "", "", "", "1904178193"});
    state.SetAccount(*FindServiceRow("Sohu"), {true, "", "", "", "20110815"});
  }
  return CAlertPopup::Open(parent, kKinds[i % 10], i,
                           [](int kind, long long count, SAlertContent& content) {
                             return DescribeServiceAlert(kind, count, state, content);
                           });
}

// Whether a popup is still open or an alert still waits for one.
bool AnyLeft(QWidget* parent) {
  for (const CAlertPopup* p : parent->findChildren<CAlertPopup*>())
    if (!p->IsWindowDestroyed()) return true;
  return !CAlertPopup::Waiting().empty();
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The offscreen platform complains about raising every topmost window.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && !text.contains("does not support raise"))
      std::fprintf(stderr, "%s\n", qPrintable(text));
  });
  QApplication app(argc, argv);
  const int total = argc > 1 ? std::atoi(argv[1]) : 2000;
  QWidget parent;
  parent.show();

  // Warm-up: fonts, styles and the platform's first allocations.
  for (int i = 0; i < 50; ++i) {
    Show(&parent, i)->close();
    Drain();
  }
  const double start = ResidentMb();
  std::printf("closed by the close box (%d popups)\n  start %.1f MB\n", total, start);
  for (int i = 1; i <= total; ++i) {
    Show(&parent, i)->close();
    Drain();
    if (i % 500 == 0) std::printf("  after %5d: %.1f MB\n", i, ResidentMb());
  }
  const double afterClose = ResidentMb();

  // Alerts in batches of twenty, two of each of ten kinds: ten popups, as many at once
  // as the column holds and the rest as places free, each ending by its countdown.
  CAlertPopup::SetTickPeriodMs(1);
  const int batches = total / 20;
  std::printf("ended by the countdown (%d alerts, 20 at a time)\n", batches * 20);
  for (int b = 0; b < batches; ++b) {
    for (int i = 0; i < 20; ++i) Show(&parent, b * 20 + i);
    while (AnyLeft(&parent)) Drain();
    if ((b + 1) % (batches / 4 > 0 ? batches / 4 : 1) == 0)
      std::printf("  after %5d: %.1f MB\n", (b + 1) * 20, ResidentMb());
  }
  const double afterCountdown = ResidentMb();
  std::printf("growth: %.1f MB after closing, %.1f MB in all; popups left: %d\n",
              afterClose - start, afterCountdown - start,
              int(parent.findChildren<CAlertPopup*>().size()));
  return 0;
}
