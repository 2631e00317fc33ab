// Idle cost of the program, in two cases.
//
// Polling (the default): the real main window with all four accounts bound to the service
// emulator: the three polling workers run their cycles at PLUMFINCH_POLL_INTERVAL_MS (set
// here, default 200 ms) for the given number of cycles, while the window sits idle. Samples,
// once per cycle, the resident size, threads and open descriptors of this process, and
// counts its wakeups (voluntary and involuntary context switches of all its threads).
//
//   idle_bench [cycles] [interval ms]   (default 300 cycles of 200 ms; offscreen)
//
// No tray, nothing bound (--no-tray): the built program and the minimal tray dialog (the
// floor), each a process of its own, side by side on a private X server (Xvfb) with a
// private session bus and no notification area of either kind. After the settling time it
// counts each process's wakeups over the measured time, for every thread and for the
// user-interface thread alone. The polling workers are given an interval longer than the
// run, so what is counted is what happens between polls. Further programs (an earlier
// build of Plumfinch) can run in the same round as NAME=PATH.
//
//   idle_bench --no-tray [settle s] [measured s] [NAME=PATH ...]   (default 40 and 30)
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

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

// ---- no tray, nothing bound ----

// The context switches of each thread of a process so far, by thread id, with its name.
struct SThreadCount {
  std::string name;
  long switches = 0;
};
std::map<std::string, SThreadCount> ThreadSwitches(pid_t pid) {
  std::map<std::string, SThreadCount> threads;
  const std::string task = "/proc/" + std::to_string(pid) + "/task";
  if (DIR* d = opendir(task.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      SThreadCount& thread = threads[e->d_name];
      std::ifstream comm(task + "/" + e->d_name + "/comm");
      std::getline(comm, thread.name);
      std::ifstream status(task + "/" + e->d_name + "/status");
      std::string line;
      while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
            line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
          thread.switches += std::atol(line.substr(line.find(':') + 1).c_str());
      }
    }
    closedir(d);
  }
  return threads;
}

extern "C" char** environ;

// Starts argv[0] (looked up in PATH) with the environment given, output to /dev/null; 0 on
// failure.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  std::vector<char*> argv, envp;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return failed ? 0 : pid;
}

// Starts a server that writes one line (its display number or its address) to the file
// descriptor named in its arguments, where "{fd}" stands; returns that line.
std::string SpawnAndRead(std::vector<std::string> args, const std::vector<std::string>& env,
                         std::vector<pid_t>& started) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  for (std::string& a : args)
    if (const size_t at = a.find("{fd}"); at != std::string::npos)
      a.replace(at, 4, std::to_string(fds[1]));
  const pid_t pid = Spawn(args, env);
  close(fds[1]);
  std::string line;
  char c = 0;
  while (pid && read(fds[0], &c, 1) == 1 && c != '\n') line += c;
  close(fds[0]);
  if (pid) started.push_back(pid);
  return line;
}

void EndAll(std::vector<pid_t>& started) {
  for (auto it = started.rbegin(); it != started.rend(); ++it) {
    kill(*it, SIGTERM);
    waitpid(*it, nullptr, 0);
  }
  started.clear();
}

struct SProgram {
  std::string name, path;
  pid_t pid = 0;
  std::map<std::string, SThreadCount> first;
};

int NoTrayCase(int argc, char** argv) {
  const int settleS = argc > 2 ? std::max(1, std::atoi(argv[2])) : 40;
  const int measuredS = argc > 3 ? std::max(1, std::atoi(argv[3])) : 30;
  std::vector<SProgram> programs(1);
  programs[0].name = "Plumfinch";
  programs[0].path = PLUMFINCH_PROGRAM;
  for (int i = 4; i < argc; ++i) {
    const std::string arg = argv[i];
    const size_t eq = arg.find('=');
    if (eq == std::string::npos) continue;
    programs.emplace_back();
    programs.back().name = arg.substr(0, eq);
    programs.back().path = arg.substr(eq + 1);
  }
  programs.emplace_back();
  programs.back().name = "floor dialog";
  programs.back().path = FLOOR_PROGRAM;

  // Everything the programs write goes to a fresh folder; the environment is this one's
  // less any desktop it names.
  const std::string dir = MakeTestFolder("idle-bench-no-tray", false);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string key = entry.substr(0, entry.find('='));
    if (key != "DISPLAY" && key != "WAYLAND_DISPLAY" && key != "QT_QPA_PLATFORM" &&
        key != "DBUS_SESSION_BUS_ADDRESS" && key != "HOME" && key != "XDG_CONFIG_HOME" &&
        key != "XDG_RUNTIME_DIR" && key != "PLUMFINCH_CONFIG_DIR" &&
        key != "PLUMFINCH_POLL_INTERVAL_MS" && key != "SESSION_MANAGER")
      env.push_back(entry);
  }
  mkdir((dir + "/runtime").c_str(), 0700);
  env.push_back("HOME=" + dir);
  env.push_back("XDG_RUNTIME_DIR=" + dir + "/runtime");
  env.push_back("QT_QPA_PLATFORM=xcb");
  // Longer than the run: the polling workers sleep through it.
  env.push_back("PLUMFINCH_POLL_INTERVAL_MS=3600000");

  std::vector<pid_t> servers;
  const std::string display = SpawnAndRead(
      {"Xvfb", "-displayfd", "{fd}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, env,
      servers);
  if (display.empty()) {
    std::fprintf(stderr, "Xvfb did not start\n");
    EndAll(servers);
    return 1;
  }
  env.push_back("DISPLAY=:" + display);
  const std::string bus =
      SpawnAndRead({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address={fd}"},
                   env, servers);
  if (bus.empty()) {
    std::fprintf(stderr, "dbus-daemon did not start\n");
    EndAll(servers);
    return 1;
  }
  env.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus);

  // Each program has its own settings folder whose Services.ini sends every host to a
  // closed loopback port, and no account.
  std::vector<pid_t> started;
  for (size_t i = 0; i < programs.size(); ++i) {
    const std::string folder = dir + "/settings-" + std::to_string(i);
    mkdir(folder.c_str(), 0700);
    std::string ini = "[Hosts]\r\n";
    for (const char* key : {"TencentOpen", "TencentOpenSecure", "TencentWeb", "SinaApi", "SinaWeb",
                            "SohuApi", "SohuWeb", "TwitterApi", "TwitterWeb", "Mastodon"})
      ini += std::string(key) + "=127.0.0.1:9\r\n";
    ini += "IpEchoUrl=http://127.0.0.1:9/getip.asp\r\n";
    WriteFile(folder + "/Services.ini", ini);
    std::vector<std::string> programEnv = env;
    programEnv.push_back("PLUMFINCH_CONFIG_DIR=" + folder);
    programs[i].pid = Spawn({programs[i].path}, programEnv);
    if (!programs[i].pid) {
      std::fprintf(stderr, "%s did not start\n", programs[i].path.c_str());
      EndAll(started);
      EndAll(servers);
      return 1;
    }
    started.push_back(programs[i].pid);
  }

  std::this_thread::sleep_for(std::chrono::seconds(settleS));
  for (SProgram& p : programs) p.first = ThreadSwitches(p.pid);
  std::this_thread::sleep_for(std::chrono::seconds(measuredS));

  std::printf(
      "no tray, nothing bound: %d s counted from %d s after start (private Xvfb and "
      "session bus, no window manager)\n",
      measuredS, settleS);
  std::printf("%-14s %12s %12s  %s\n", "", "wakeups/s", "UI thread/s", "threads that woke");
  for (SProgram& p : programs) {
    const auto last = ThreadSwitches(p.pid);
    long all = 0, ui = 0;
    std::string woke;
    // Threads that came or went in between are left out: their counts are not comparable.
    for (const auto& [tid, before] : p.first) {
      const auto it = last.find(tid);
      if (it == last.end()) continue;
      const long n = it->second.switches - before.switches;
      all += n;
      if (tid == std::to_string(p.pid)) ui = n;
      if (n > 0) woke += (woke.empty() ? "" : ", ") + it->second.name + " " + std::to_string(n);
    }
    std::printf("%-14s %12.2f %12.2f  %s\n", p.name.c_str(), double(all) / measuredS,
                double(ui) / measuredS, woke.empty() ? "none" : woke.c_str());
  }
  EndAll(started);
  EndAll(servers);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--no-tray") == 0) return NoTrayCase(argc, argv);
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
