// Idle cost of the real main window with all four accounts bound to the service emulator:
// the three polling workers run their cycles at PLUMFINCH_POLL_INTERVAL_MS (set here,
// default 200 ms) for the given number of cycles, while the window sits idle. Samples, once
// per cycle, the resident size, threads and open descriptors of this process, and counts
// its wakeups (voluntary and involuntary context switches of all its threads).
//
//   idle_bench [cycles] [interval ms]   (default 300 cycles of 200 ms; offscreen)
#include <dirent.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "app/MainDlg.h"
#include "tests/support/AppHarness.h"
#include "tests/support/Emulator.h"
#include "tests/support/TestEnv.h"

namespace {

using Clock = std::chrono::steady_clock;

int CountEntries(const char* folder) {
  int n = 0;
  if (DIR* d = opendir(folder)) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

double ResidentMiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Context switches of every thread of this process so far (threads that ended are not
// counted, so this is taken with the same threads alive each time).
long Wakeups() {
  long total = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::ifstream status(std::string("/proc/self/task/") + e->d_name + "/status");
      std::string line;
      while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
            line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
          total += std::atol(line.substr(line.find(':') + 1).c_str());
      }
    }
    closedir(d);
  }
  return total;
}

// The names of this process's threads, for the report.
std::string ThreadNames() {
  std::string names;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
      std::string name;
      std::getline(comm, name);
      names += (names.empty() ? "" : ", ") + name;
    }
    closedir(d);
  }
  return names;
}

struct SSample {
  double rss;
  int threads, fds;
  long wakeups;
};
SSample Take() {
  return {ResidentMiB(), CountEntries("/proc/self/task"), CountEntries("/proc/self/fd"), Wakeups()};
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
  const int intervalMs = argc > 2 ? std::max(20, std::atoi(argv[2])) : 200;
  setenv("PLUMFINCH_POLL_INTERVAL_MS", std::to_string(intervalMs).c_str(), 1);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  CAppHarness::App();
  CEmulator emulator;
  if (!emulator.Start(MakeTestFolder("idle-bench-emulator", false))) {
    std::fprintf(stderr, "the emulator did not start\n");
    return 1;
  }
  const std::string folder = CAppHarness::FreshSettings("idle-bench");
  CAppHarness::UseEmulator(emulator, folder);
  if (!StoreAllAccountsBound(emulator)) {
    std::fprintf(stderr, "could not bind the accounts\n");
    return 1;
  }
  CAppHarness harness;
  CMainDlg* dlg = harness.OpenWindow();
  // Settle: the public-address fetch ends and every poller has made its first requests.
  CAppHarness::Pump(10 * intervalMs + 1000);

  // The samples come from a timer of the window's own event loop (no polling of ours), one
  // per cycle; those wakeups of the main thread are taken off the count below.
  const SSample first = Take();
  const std::string firstNames = ThreadNames();
  const auto start = Clock::now();
  SSample last = first;
  double peakRss = first.rss;
  int taken = 0;
  // Threads and descriptors also count a request in flight at the moment of a sample, so
  // the least of the first and of the last ten samples is the idle figure.
  const int window = std::min(10, cycles / 2);
  int firstThreads = 1 << 30, lastThreads = 1 << 30, firstFds = 1 << 30, lastFds = 1 << 30;
  int maxThreads = 0, maxFds = 0;
  QEventLoop loop;
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    last = Take();
    peakRss = std::max(peakRss, last.rss);
    maxThreads = std::max(maxThreads, last.threads);
    maxFds = std::max(maxFds, last.fds);
    if (taken < window) {
      firstThreads = std::min(firstThreads, last.threads);
      firstFds = std::min(firstFds, last.fds);
    } else if (taken >= cycles - window) {
      lastThreads = std::min(lastThreads, last.threads);
      lastFds = std::min(lastFds, last.fds);
    }
    if (++taken == cycles) loop.quit();
  });
  sampler.start(intervalMs);
  loop.exec();
  const double minutes = std::chrono::duration<double>(Clock::now() - start).count() / 60.0;
  const double polls = 3.0 * cycles;  // three polling workers, one request cycle each per interval
  std::printf("cycles: %d of %d ms (three pollers, four accounts bound), %.2f minutes\n", cycles,
              intervalMs, minutes);
  std::printf("%-22s %10s %10s\n", "", "first", "last");
  std::printf("%-22s %10.1f %10.1f   (peak %.1f)\n", "resident MiB", first.rss, last.rss, peakRss);
  std::printf("%-22s %10d %10d   (most %d, during a poll)\n", "threads", firstThreads, lastThreads,
              maxThreads);
  std::printf("%-22s %10d %10d   (most %d, during a poll)\n", "open descriptors", firstFds, lastFds,
              maxFds);
  std::printf("threads at the start: %s\nthreads at the end: %s\n", firstNames.c_str(),
              ThreadNames().c_str());
  const long wakeups = last.wakeups - first.wakeups - cycles;
  std::printf("wakeups: %ld in all, %.0f per minute, %.1f per poll (%.0f polls)\n", wakeups,
              double(wakeups) / minutes, double(wakeups) / polls, polls);
  (void)dlg;
  return 0;
}
