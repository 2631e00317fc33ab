// Start at logon: the check box writes and removes the desktop's autostart entry, the entry
// is valid, its Exec line parses back (with GLib's own desktop-entry parser) to exactly the
// program path and "-background" even for awkward paths, a real launcher starts the
// program that way, and failures stay silent.
#include "app/AutoStart.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QProcess>
#include <filesystem>

#include "app/MainApp.h"
#include "app/MainDlg.h"
#include "res/Resource.h"
#include "settings/Profile.h"
#include "tests/support/AppHarness.h"
#include "tests/support/TestEnv.h"

namespace fs = std::filesystem;

namespace {

// Runs a program; its exit code (-1 when it did not run) and its standard output.
int RunProgram(const QString& program, const QStringList& args, std::string* out = nullptr) {
  QProcess p;
  p.setProcessChannelMode(QProcess::SeparateChannels);
  p.start(program, args);
  if (!p.waitForStarted(10000) || !p.waitForFinished(30000)) return -1;
  if (out) *out = p.readAllStandardOutput().toStdString();
  if (p.exitStatus() != QProcess::NormalExit) return -1;
  return p.exitCode();
}

// The arguments a GLib desktop session takes from the entry's Exec line: the key file's
// string unescaping, shell-style argument splitting, then "%%" for a literal "%".
const char* const kParseExec = R"(
import sys, gi
gi.require_version('GLib', '2.0')
from gi.repository import GLib
kf = GLib.KeyFile()
kf.load_from_file(sys.argv[1], GLib.KeyFileFlags.NONE)
ok, argv = GLib.shell_parse_argv(kf.get_string('Desktop Entry', 'Exec'))
sys.stdout.write('\0'.join(a.replace('%%', '%') for a in argv))
)";

std::vector<std::string> ExecArguments(const std::string& entry) {
  std::string out;
  EXPECT_EQ(RunProgram("/usr/bin/python3", {"-c", kParseExec, QString::fromStdString(entry)}, &out),
            0);
  std::vector<std::string> args;
  size_t pos = 0;
  while (pos <= out.size() && !out.empty()) {
    size_t end = out.find('\0', pos);
    if (end == std::string::npos) end = out.size();
    args.push_back(out.substr(pos, end - pos));
    pos = end + 1;
  }
  return args;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename());
  return names;
}

class AutoStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CAppHarness::FreshSettings(name);
    base = MakeTestFolder(name + "-xdg", false);
    // A configuration home that does not exist yet: the autostart folder is created.
    setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
    entry = base + "/config/autostart/Quillmere.desktop";
  }
  void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }

  void ClickAutoRun(CMainDlg* dlg) {
    dlg->findChild<QAbstractButton*>(QStringLiteral("ctrl_%1").arg(IDC_AUTO_RUN))->click();
  }

  std::string base, entry;
  CAppHarness harness;
};

}  // namespace

TEST_F(AutoStartTest, TickingWritesTheEntryAndUntickingRemovesIt) {
  // The box restored from the settings at start does not touch the entry.
  ProfileString(true, "AutoRun", "1", "");
  CMainDlg* dlg = harness.OpenWindow();
  EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_AUTO_RUN), BST_CHECKED);
  EXPECT_FALSE(fs::exists(entry));

  ClickAutoRun(dlg);  // unticks: no entry to remove, nothing happens
  EXPECT_FALSE(fs::exists(entry));
  ClickAutoRun(dlg);  // ticks
  ASSERT_TRUE(fs::exists(entry));
  const std::string text = ReadFile(entry);
  const std::string exe = RunningExecutablePath();
  EXPECT_NE(text.find("\nExec=" + QuoteExecArgument(exe) + " -background\n"), std::string::npos)
      << text;
  for (const char* line : {"[Desktop Entry]\n", "\nType=Application\n", "\nName=Plumfinch\n",
                           "\nIcon=", "\nX-GNOME-Autostart-Delay=",
                           "\nX-KDE-autostart-after=panel\n", "\nX-LXQt-Need-Tray=true\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_EQ(ExecArguments(entry), (std::vector<std::string>{exe, "-background"}));
  EXPECT_EQ(RunProgram("desktop-file-validate", {QString::fromStdString(entry)}), 0);
  struct stat st {};
  ASSERT_EQ(stat(entry.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  // Ticking again replaces it in place; no temporary file stays behind.
  ClickAutoRun(dlg);
  ClickAutoRun(dlg);
  EXPECT_EQ(FolderEntries(base + "/config/autostart"),
            std::vector<std::string>{"Quillmere.desktop"});

  ClickAutoRun(dlg);
  EXPECT_FALSE(fs::exists(entry));
  EXPECT_TRUE(harness.Messages().empty());
}

TEST_F(AutoStartTest, AwkwardPathsParseBackToThePathAndTheSwitch) {
  const std::string paths[] = {
      "/opt/Plum Finch/plumfinch",
      "/home/a b/\"quoted\" 'single'/plum finch",
      "/srv/$HOME/`id`/back\\slash/\\\\double",
      "/tmp/100%/%f %u/plumfinch",
      "/tmp/tab\there/new\nline/cr\rhere",
      "/home/用户/程序 目录/plumfinch",
      "/ends/with/backslash\\",
  };
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(WriteAutostartEntry(path));
    EXPECT_EQ(ExecArguments(entry), (std::vector<std::string>{path, "-background"}));
    EXPECT_EQ(RunProgram("desktop-file-validate", {QString::fromStdString(entry)}), 0);
  }
  // A path that is not UTF-8 cannot be put in a desktop entry: nothing is written.
  ASSERT_TRUE(RemoveAutostartEntry());
  EXPECT_FALSE(WriteAutostartEntry("/opt/\xC0\xFF/plumfinch"));
  EXPECT_FALSE(fs::exists(entry));
}

// A desktop launcher (GLib's, as GNOME, Xfce, Cinnamon and others use) starts the program of
// the entry: a stand-in program at an awkward path records the arguments it was given.
TEST_F(AutoStartTest, ALauncherStartsTheProgramWithTheBackgroundSwitch) {
  const std::string folder = base + "/Plum \"Finch\" $dir `x` back\\slash";
  fs::create_directories(folder);
  const std::string program = folder + "/plum finch";
  const std::string record = base + "/arguments";
  WriteFile(program, "#!/bin/sh\nprintf '%s\\0' \"$0\" \"$@\" > '" + record + ".tmp' && mv '" +
                         record + ".tmp' '" + record + "'\n");
  chmod(program.c_str(), 0755);
  ASSERT_TRUE(WriteAutostartEntry(program));

  QProcess gio;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  env.remove("DBUS_SESSION_BUS_ADDRESS");
  gio.setProcessEnvironment(env);
  gio.start("gio", {"launch", QString::fromStdString(entry)});
  ASSERT_TRUE(gio.waitForFinished(30000));
  EXPECT_EQ(gio.exitCode(), 0) << gio.readAllStandardError().toStdString();
  ASSERT_TRUE(CAppHarness::WaitFor([&] { return fs::exists(record); }, 10000));

  std::vector<std::string> argv;
  const std::string bytes = ReadFile(record);
  for (size_t pos = 0; pos < bytes.size();) {
    const size_t end = bytes.find('\0', pos);
    argv.push_back(bytes.substr(pos, end - pos));
    pos = end + 1;
  }
  EXPECT_EQ(argv, (std::vector<std::string>{program, "-background"}));
  // The program's own start-up takes that command line as a hidden start.
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  EXPECT_TRUE(CMainDlg::IsBackgroundCommandLine(
      CMainApp::JoinCommandLine(static_cast<int>(args.size()), args.data())));
}

TEST_F(AutoStartTest, UnwritableAutostartFolderIsSilentlyIgnored) {
  // The autostart folder's name is taken by a plain file.
  fs::create_directories(base + "/config");
  WriteFile(base + "/config/autostart", "not a folder");
  CMainDlg* dlg = harness.OpenWindow();
  ClickAutoRun(dlg);
  EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_AUTO_RUN), BST_CHECKED);
  EXPECT_EQ(ReadFile(base + "/config/autostart"), "not a folder");
  ClickAutoRun(dlg);
  EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_AUTO_RUN), BST_UNCHECKED);

  // The entry's own name is taken by a folder: the rename fails and no temporary file stays.
  fs::remove(base + "/config/autostart");
  fs::create_directories(entry + "/inside");
  EXPECT_FALSE(WriteAutostartEntry("/opt/plumfinch"));
  EXPECT_EQ(FolderEntries(base + "/config/autostart"),
            std::vector<std::string>{"Quillmere.desktop"});
  EXPECT_FALSE(RemoveAutostartEntry());
  EXPECT_TRUE(fs::is_directory(entry + "/inside"));

  // A configuration home nobody can create folders in (not even root).
  setenv("XDG_CONFIG_HOME", "/proc/self/no-such-folder", 1);
  ClickAutoRun(dlg);
  ClickAutoRun(dlg);
  EXPECT_TRUE(harness.Messages().empty());
}

TEST_F(AutoStartTest, ConfigHomeFallsBackToTheHomeFolder) {
  EXPECT_EQ(AutostartFolder(), base + "/config/autostart");
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  setenv("HOME", base.c_str(), 1);
  for (const char* value : {"", "relative/config"}) {
    setenv("XDG_CONFIG_HOME", value, 1);
    EXPECT_EQ(AutostartFolder(), base + "/.config/autostart") << value;
  }
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(AutostartFolder(), base + "/.config/autostart");
  EXPECT_TRUE(WriteAutostartEntry("/opt/plumfinch"));
  EXPECT_TRUE(fs::exists(base + "/.config/autostart/Quillmere.desktop"));
  setenv("HOME", savedHome.c_str(), 1);
}
