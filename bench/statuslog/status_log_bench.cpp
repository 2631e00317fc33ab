// Cost of status-log appends as the log grows: the real main window, lines appended in
// blocks of 1,000, the time of each block, first against last. Two runs on fresh windows:
// from a worker thread (the caller's cost; the user-interface thread takes the lines in
// meanwhile) and on the user-interface thread (each append inserted, laid out and
// scrolled to before it returns). Prints the resident size at the end.
//
//   status_log_bench [lines [worker|ui]]   (default 100000, both runs; offscreen unless
//                                           QT_QPA_PLATFORM is set)
#include <QApplication>
#include <QPlainTextEdit>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/MainDlg.h"
#include "res/Resource.h"
#include "tests/support/AppHarness.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBlock = 1000;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double ResidentMiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

std::string Line(int i) {
  return "成功发表一条Tweet! round " + std::to_string(i) + " of the status-log benchmark";
}

int LogLines(CMainDlg* dlg) {
  auto* log = qobject_cast<QPlainTextEdit*>(dlg->GetDlgItem(IDC_STATUS_LOG));
  return log->blockCount() - 1;
}

void Report(const char* what, const std::vector<double>& blocks, double total) {
  const double first = blocks.front(), last = blocks.back();
  std::vector<double> sorted = blocks;
  std::sort(sorted.begin(), sorted.end());
  std::printf(
      "%-30s first 1000: %8.2f ms  last 1000: %8.2f ms  median block: %8.2f ms  "
      "ratio last/first: %.2f  total %.0f ms\n",
      what, first, last, sorted[sorted.size() / 2], last / first, total);
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::max(2 * kBlock, std::atoi(argv[1]) / kBlock * kBlock) : 100000;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  CAppHarness::App();
  CAppHarness::FreshSettings("status-log-bench");
  std::printf("lines: %d, blocks of %d\n", lines, kBlock);

  const std::string only = argc > 2 ? argv[2] : "";
  if (only != "ui") {
    // From a worker: each block is appended by a worker, and timed until the control
    // holds all of its lines (the caller's cost and the window's, together).
    CAppHarness harness;
    CMainDlg* dlg = harness.OpenWindow();
    std::vector<double> blocks, callers;
    const auto start = Clock::now();
    for (int b = 0; b < lines / kBlock; ++b) {
      const auto t = Clock::now();
      double caller = 0;
      std::thread worker([&] {
        for (int i = 0; i < kBlock; ++i) dlg->AppendStatusLog(Line(b * kBlock + i));
        caller = Ms(Clock::now() - t);
      });
      while (LogLines(dlg) < (b + 1) * kBlock)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      blocks.push_back(Ms(Clock::now() - t));
      worker.join();
      callers.push_back(caller);
    }
    const double total = Ms(Clock::now() - start);
    if (LogLines(dlg) != lines) {
      std::fprintf(stderr, "the log holds %d lines, not %d\n", LogLines(dlg), lines);
      return 1;
    }
    Report("worker, until in the control:", blocks, total);
    Report("worker, the appends alone:", callers, total);
    std::printf("resident after %d lines: %.1f MiB\n", lines, ResidentMiB());
  }
  if (only != "worker") {
    // On the user-interface thread: each block appended, then one round of events (the
    // repaint), as between two user actions.
    CAppHarness harness;
    CMainDlg* dlg = harness.OpenWindow();
    std::vector<double> blocks;
    const auto start = Clock::now();
    for (int b = 0; b < lines / kBlock; ++b) {
      const auto t = Clock::now();
      for (int i = 0; i < kBlock; ++i) dlg->AppendStatusLog(Line(b * kBlock + i));
      QCoreApplication::processEvents();
      if (LogLines(dlg) != (b + 1) * kBlock) {
        std::fprintf(stderr, "block %d is not in the control\n", b);
        return 1;
      }
      blocks.push_back(Ms(Clock::now() - t));
    }
    const double total = Ms(Clock::now() - start);
    Report("user-interface thread:", blocks, total);
    std::printf("resident after %d lines: %.1f MiB\n", lines, ResidentMiB());
  }
  return 0;
}
