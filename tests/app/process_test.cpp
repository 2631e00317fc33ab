// The program as a process: it starts, SIGTERM or SIGINT end it like the exit command
// (boxes saved, exit code 0) even while its workers sleep or wait, and --help and
// --version answer without a display.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <regex>
#include <set>
#include <thread>

#include "tests/support/TestEnv.h"

extern char** environ;

namespace {

std::string Program() { return std::string(PF_BINARY_DIR) + "/plumfinch"; }

// holdSignals: the program starts with SIGTERM and SIGINT blocked, so one sent at once
// waits for the program instead of hitting it before main runs.
pid_t Launch(const std::vector<std::string>& extraEnv, const std::vector<std::string>& args = {},
             bool holdSignals = false) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.push_back(*e);
  env.push_back("QT_QPA_PLATFORM=offscreen");
  for (const auto& e : extraEnv) env.push_back(e);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argvStore = {Program()};
  argvStore.insert(argvStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argvStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  if (holdSignals) {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGINT);
    posix_spawnattr_setsigmask(&attr, &held);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
  }
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, Program().c_str(), nullptr, &attr, argv.data(), envp.data());
  posix_spawnattr_destroy(&attr);
  return rc == 0 ? pid : -1;
}

// Exit status, or -1 when the process did not end within ms.
int WaitExit(pid_t pid, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

// Runs the program with exactly env (nothing inherited) and its stdout going to outPath;
// the exit status, or -1 when it did not end within 10 s.
int RunWithOnly(const std::vector<std::string>& env, const std::vector<std::string>& args,
                const std::string& outPath) {
  std::vector<std::string> store = env, argvStore = {Program()};
  argvStore.insert(argvStore.end(), args.begin(), args.end());
  std::vector<char*> envp, argv;
  for (auto& e : store) envp.push_back(e.data());
  for (auto& a : argvStore) argv.push_back(a.data());
  envp.push_back(nullptr);
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, Program().c_str(), &files, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&files);
  return rc == 0 ? WaitExit(pid, 10000) : -1;
}

std::string Folder(const char* name) {
  const std::string folder = MakeTestFolder(name, false);
  WriteFile(folder + "/Services.ini",
            "[Hosts]\r\nIpEchoUrl=http://127.0.0.1:9/getip.asp\r\nTencentOpen=127.0.0.1:9\r\n"
            "SinaApi=127.0.0.1:9\r\nSohuApi=127.0.0.1:9\r\nTwitterApi=127.0.0.1:9\r\n");
  return folder;
}

TEST(ProcessEnd, TermAndIntSaveTheBoxesAndExitCleanly) {
  for (int sig : {SIGTERM, SIGINT}) {
    const std::string folder = Folder(sig == SIGTERM ? "term" : "int");
    // A bound account makes the pollers work; a one-second interval keeps them cycling.
    WriteFile(folder + "/Setting.ini", "[Plumfinch]\r\nQQName=someone\r\nSinaName=other\r\n");
    pid_t pid = Launch({"PLUMFINCH_CONFIG_DIR=" + folder, "PLUMFINCH_POLL_INTERVAL_MS=1000"});
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    kill(pid, sig);
    EXPECT_EQ(WaitExit(pid, 5000), 0) << "signal " << sig;
    const std::string ini = ReadFile(folder + "/Setting.ini");
    EXPECT_NE(ini.find("QQName=someone"), std::string::npos) << ini;
    EXPECT_NE(ini.find("AlertAtMe=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("SendToTwitter=0"), std::string::npos) << ini;
  }
}

// A signal at the very start (here sent the moment the process exists, and held until the
// program unblocks it) ends the program cleanly once it can, in the background too.
TEST(ProcessEnd, SignalsRightAtTheStartEndCleanly) {
  for (int sig : {SIGTERM, SIGINT}) {
    const std::string folder = Folder(sig == SIGTERM ? "early-term" : "early-int");
    pid_t pid = Launch({"PLUMFINCH_CONFIG_DIR=" + folder}, {"-background"}, true);
    ASSERT_GT(pid, 0);
    kill(pid, sig);
    EXPECT_EQ(WaitExit(pid, 20000), 0) << "signal " << sig;
  }
}

TEST(ProcessStart, StartsWithoutAnyFontConfiguration) {
  const std::string folder = Folder("nofont");
  WriteFile(folder + "/fonts.conf", "<?xml version=\"1.0\"?><fontconfig></fontconfig>\n");
  pid_t pid =
      Launch({"PLUMFINCH_CONFIG_DIR=" + folder, "FONTCONFIG_FILE=" + folder + "/fonts.conf"});
  ASSERT_GT(pid, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the program must still be running";
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid, 5000), 0);
}

// --help and --version answer on stdout and end at once, with no display and before any
// settings folder is made: a home whose folders do not exist yet stays empty.
TEST(ProcessStart, HelpAndVersionPrintAndEndBeforeAnythingElse) {
  const std::string kHelp =
      "(-background|--help|--version|PLUMFINCH_CONFIG_DIR|PLUMFINCH_POLL_INTERVAL_MS|"
      "PLUMFINCH_DEBUG_LOG|PLUMFINCH_CORE_DUMPS|XDG_CONFIG_HOME)";
  const struct {
    std::vector<std::string> args;
    std::string pattern;  // the whole output matches it
    int mentions;         // distinct matches of kHelp in the output
  } cases[] = {
      {{"--version"}, "Plumfinch \\d+\\.\\d+(\\.\\d+)?\n", 0},
      {{"--help"}, "Usage: plumfinch [\\s\\S]*", 8},
      {{"-x", "--help", "-background"}, "Usage: plumfinch [\\s\\S]*", 8},
      {{"--version", "--help"}, "Plumfinch [^\n]*\n", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front() + " ... " + c.args.back());
    const std::string folder = MakeTestFolder("help", false);
    const std::string home = folder + "/home";
    std::filesystem::create_directory(home);
    const int status =
        RunWithOnly({"PATH=/usr/bin:/bin", "HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                     "PLUMFINCH_CONFIG_DIR=" + home + "/settings"},
                    c.args, folder + "/out");
    EXPECT_EQ(status, 0);
    const std::string out = ReadFile(folder + "/out");
    EXPECT_TRUE(std::regex_match(out, std::regex(c.pattern))) << out;
    std::set<std::string> named;
    const std::regex option(kHelp);
    for (auto it = std::sregex_iterator(out.begin(), out.end(), option);
         it != std::sregex_iterator(); ++it)
      named.insert(it->str());
    EXPECT_EQ(named.size(), size_t(c.mentions)) << out;
    EXPECT_TRUE(std::filesystem::is_empty(home)) << "nothing may be created";
  }
}

}  // namespace
