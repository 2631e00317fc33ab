// The settings files as something others may attack or a crash may damage: temporary
// files left by a crash, a file that would outgrow its reader, modes, which folders and
// files are trusted, core dumps, group saves, duplicate sections, and bad stored values.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <regex>
#include <vector>

#include "net/ServiceHosts.h"
#include "qwblog/QWBlogAPI.h"
#include "settings/Ini.h"
#include "settings/Notices.h"
#include "settings/Profile.h"
#include "settings/Startup.h"
#include "tests/core/CoreTestUtil.h"

using namespace coretest;
namespace fs = std::filesystem;

namespace {

// Collects the status-log lines of the settings layer for one test.
class Notices {
 public:
  Notices() {
    ResetSettingsNotices();
    SetSettingsNoticeSink([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_lines.push_back(line);
    });
  }
  ~Notices() { SetSettingsNoticeSink({}); }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
  }
  // How many lines contain text.
  int Count(const std::string& text) {
    int n = 0;
    for (const auto& line : Lines()) n += line.find(text) != std::string::npos;
    return n;
  }

 private:
  std::mutex m_mutex;
  std::vector<std::string> m_lines;
};

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

const uid_t kOtherUser = 65534;  // nobody

}  // namespace

TEST(StaleTempFiles, OnlyUnlockedLeftoversOfASaveAreRemovedAtStart) {
  std::string dir = FreshSettingsFolder("stale");
  Spit(dir + "/Setting.ini", "[Plumfinch]\nQQName=kept\n");
  Spit(dir + "/.Setting.ini.AbC123", "[Plumfinch]\nQQAccessSecret=leaked\n");
  Spit(dir + "/.Setting.ini.Zz9Zz9", "x");
  Spit(dir + "/.Setting.ini.Lck123", "a save in progress");
  Spit(dir + "/.Setting.ini.short", "not ours");
  Spit(dir + "/.Services.ini.AbC123", "another file's");
  int busy = open((dir + "/.Setting.ini.Lck123").c_str(), O_RDONLY);
  ASSERT_EQ(flock(busy, LOCK_EX), 0);
  PrepareSettingsAtStart();
  close(busy);
  EXPECT_EQ(Entries(dir), (std::vector<std::string>{".Services.ini.AbC123", ".Setting.ini.Lck123",
                                                    ".Setting.ini.short", "Setting.ini"}));
  EXPECT_EQ(Slurp(dir + "/Setting.ini"), "[Plumfinch]\nQQName=kept\n");
}

TEST(StaleTempFiles, SavesThatFailOrSucceedLeaveNoTemporaryFile) {
  std::string dir = FreshSettingsFolder("no-leftover");
  ProfileString(true, "QQName", "a", "");
  ProfileWriteStrings({{"NewFans", "1"}, {"AutoRun", "0"}});
  EXPECT_EQ(Entries(dir), std::vector<std::string>{"Setting.ini"});
  // The rename fails: a folder stands where the file should be.
  fs::remove(dir + "/Setting.ini");
  fs::create_directory(dir + "/Setting.ini");
  EXPECT_FALSE(WriteFileAtomically(dir + "/Setting.ini", "[Plumfinch]\n"));
  EXPECT_EQ(Entries(dir), std::vector<std::string>{"Setting.ini"});
}

TEST(SizeLimit, AWriteThatWouldOutgrowTheReaderIsRefusedOnce) {
  std::string dir = FreshSettingsFolder("limit");
  Notices notices;
  std::string text = "[Plumfinch]\nQQName=kept\n";
  text += "Filler=" + std::string(kIniSizeLimit - text.size() - 200, 'f') + "\n";
  Spit(SettingsPath(), text);
  ProfileString(true, "QQAccessToken", std::string(300, 't'), "");
  ProfileString(true, "SinaAccessToken", std::string(300, 's'), "");
  ProfileWriteStrings({{"NewFans", "1"}, {"Big", std::string(500, 'b')}});
  EXPECT_EQ(Slurp(SettingsPath()), text) << "the old file is untouched";
  EXPECT_EQ(ProfileString(false, "QQName", "", "d"), "kept") << "the file is still read";
  EXPECT_EQ(notices.Count("grow past 1 MB"), 1);
  ProfileString(true, "QQName", "fits", "");
  EXPECT_EQ(ProfileString(false, "QQName", "", "d"), "fits") << "a write that fits is saved";
}

TEST(NotText, AFileThatIsNotTextIsKeptAsideAndTheSettingsStartAfresh) {
  using namespace std::string_literals;
  std::string noise;
  for (int i = 0; i < 5000; ++i) noise.push_back(static_cast<char>((i * 7919) % 256));
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"binary noise", noise},
      {"UTF-16 LE with a surrogate cut off", "\xFF\xFE[\0P\0]\0\n\0\x3D\xD8"s},
      {"UTF-16 without a byte-order mark", "[\0P\0]\0\n\0k\0=\0v\0"s},
  };
  const std::regex asideName(R"(Setting\.ini\.unreadable-\d{8}-\d{6})");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = FreshSettingsFolder("not-text");
    Notices notices;
    Spit(SettingsPath(), c.bytes);
    fs::permissions(SettingsPath(), fs::perms(0640));
    PrepareSettingsAtStart();  // reads the proxy keys

    const std::vector<std::string> names = Entries(dir);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(std::regex_match(names[0], asideName)) << names[0];
    const std::string aside = dir + "/" + names[0];
    EXPECT_EQ(Slurp(aside), c.bytes) << "kept byte for byte";
    EXPECT_EQ(FileMode(aside), 0600u);
    EXPECT_EQ(notices.Lines(),
              std::vector<std::string>{"Setting.ini is not a text file: it is kept as " + aside +
                                       ", and the settings start afresh."});

    EXPECT_EQ(ProfileString(false, "QQName", "", "d"), "d");
    ProfileString(true, "QQName", "x", "");
    EXPECT_EQ(Slurp(SettingsPath()), "[Plumfinch]\r\nQQName=x\r\n") << "a fresh file";
    EXPECT_EQ(Slurp(aside), c.bytes);

    // Another one in the same second gets a name of its own, and the first stays.
    Spit(SettingsPath(), c.bytes);
    ProfileString(true, "QQName", "y", "");
    EXPECT_EQ(Entries(dir).size(), 3u);
    EXPECT_EQ(Slurp(aside), c.bytes);
    EXPECT_EQ(notices.Lines().size(), 2u);
  }
}

TEST(Modes, SettingsFileBecomes0600AndCreatedFoldersAre0700) {
  std::string dir = FreshSettingsFolder("modes");
  Spit(SettingsPath(), "[Plumfinch]\nQQName=x\n");
  fs::permissions(SettingsPath(), fs::perms(0666));
  PrepareSettingsAtStart();
  EXPECT_EQ(FileMode(SettingsPath()), 0600u);
  EXPECT_EQ(Slurp(SettingsPath()), "[Plumfinch]\nQQName=x\n");

  setenv("PLUMFINCH_CONFIG_DIR", (dir + "/made/here").c_str(), 1);
  SettingsFolder();
  EXPECT_EQ(FileMode(dir + "/made/here"), 0700u);

  unsetenv("PLUMFINCH_CONFIG_DIR");
  setenv("XDG_CONFIG_HOME", (dir + "/xdg").c_str(), 1);
  fs::create_directories(dir + "/xdg/Plumfinch");
  fs::permissions(dir + "/xdg/Plumfinch", fs::perms(0777));
  EXPECT_EQ(ChooseSettingsFolder(dir + "/no-exe-folder"), dir + "/xdg/Plumfinch");
  EXPECT_EQ(FileMode(dir + "/xdg/Plumfinch"), 0700u);
  unsetenv("XDG_CONFIG_HOME");
}

TEST(Trust, AFolderOthersMayWriteIsPassedOverForXdg) {
  std::string base = FreshFolder("trust-folder");
  unsetenv("PLUMFINCH_CONFIG_DIR");
  setenv("XDG_CONFIG_HOME", (base + "/xdg").c_str(), 1);
  std::string exe = base + "/portable";
  fs::create_directory(exe);
  std::string why;
  EXPECT_EQ(ChooseSettingsFolder(exe, &why), exe);
  EXPECT_EQ(why, "");
  for (unsigned mode : {0775u, 0757u, 01777u}) {
    fs::permissions(exe, fs::perms(mode));
    EXPECT_EQ(ChooseSettingsFolder(exe, &why), base + "/xdg/Plumfinch") << std::oct << mode;
    EXPECT_NE(why.find("other users may write to it"), std::string::npos) << why;
  }
  setenv("PLUMFINCH_CONFIG_DIR", exe.c_str(), 1);
  EXPECT_EQ(ChooseSettingsFolder(exe, &why), base + "/xdg/Plumfinch");
  EXPECT_NE(why.find(exe), std::string::npos);
  {
    Notices notices;
    SettingsFolder();
    SettingsFolder();
    ASSERT_EQ(notices.Lines().size(), 1u) << "one line, not one per use";
    EXPECT_NE(notices.Lines()[0].find("is used instead"), std::string::npos);
  }
  if (geteuid() == 0) {
    fs::permissions(exe, fs::perms(0755));
    ASSERT_EQ(chown(exe.c_str(), kOtherUser, kOtherUser), 0);
    EXPECT_EQ(ChooseSettingsFolder(exe, &why), base + "/xdg/Plumfinch");
    EXPECT_NE(why.find("belongs to another user"), std::string::npos) << why;
  }
  unsetenv("XDG_CONFIG_HOME");
}

TEST(Trust, SettingsFilesOfOtherUsersOrBehindUnsafeLinksAreNotUsed) {
  std::string dir = FreshSettingsFolder("trust-file");
  std::string elsewhere = FreshFolder("trust-file-elsewhere");
  const std::string planted = "[Plumfinch]\nQQAccessToken=planted\n";
  Spit(elsewhere + "/Setting.ini", planted);
  fs::permissions(elsewhere, fs::perms(0777));
  fs::create_symlink(elsewhere + "/Setting.ini", SettingsPath());
  Notices notices;
  EXPECT_EQ(ProfileString(false, "QQAccessToken", "", "none"), "none");
  ProfileString(true, "QQName", "x", "");
  EXPECT_EQ(Slurp(elsewhere + "/Setting.ini"), planted);
  EXPECT_EQ(notices.Count("Setting.ini is not used: it is a link into a folder that is not safe"),
            1);

  if (geteuid() == 0) {
    fs::remove(SettingsPath());
    Spit(SettingsPath(), planted);
    ASSERT_EQ(chown(SettingsPath().c_str(), kOtherUser, kOtherUser), 0);
    EXPECT_EQ(ProfileString(false, "QQAccessToken", "", "none"), "none");
    ProfileString(true, "QQName", "x", "");
    EXPECT_EQ(Slurp(SettingsPath()), planted);
    EXPECT_EQ(notices.Count("Setting.ini is not used: it belongs to another user"), 1);
  }
  (void)dir;
}

// Hosts as the services name them.
constexpr SHostDef kSinaApi = {"SinaApi", "api.t.sina.com.cn"};
constexpr SHostDef kSohuApi = {"SohuApi", "api.t.sohu.com"};
constexpr SHostDef kTwitterApi = {"TwitterApi", "api.twitter.com"};

TEST(Trust, ServicesIniOthersMayWriteIsIgnored) {
  std::string dir = FreshSettingsFolder("trust-services");
  Spit(dir + "/Services.ini", "[Hosts]\nSinaApi=evil.example:8080\n");
  Notices notices;
  fs::permissions(dir + "/Services.ini", fs::perms(0666));
  ReloadServiceConfig();
  EXPECT_EQ(HttpUrl(kSinaApi, "/x"), "http://api.t.sina.com.cn/x");
  EXPECT_EQ(notices.Count("Services.ini is not used: other users may write to it"), 1);
  fs::permissions(dir + "/Services.ini", fs::perms(0644));
  ReloadServiceConfig();
  EXPECT_EQ(HttpUrl(kSinaApi, "/x"), "http://evil.example:8080/x");
}

TEST(BadInput, HostsCaFilesAndProxyPortsGetALineAndASafeDefault) {
  std::string dir = FreshSettingsFolder("bad-input");
  Notices notices;
  DeclareServiceHosts({&kSinaApi, &kSohuApi, &kTwitterApi});
  Spit(dir + "/Services.ini",
       "[Hosts]\nSinaApi=127.0.0.1:8082 extra\nSohuApi=127.0.0.1/evil/path\r\n"
       "TwitterApi=127.0.0.1:\x0d\x0dX\n[TLS]\nCAFile=not-pem.txt\n");
  Spit(dir + "/not-pem.txt", "this is no certificate\n");
  ReloadServiceConfig();
  EXPECT_EQ(HttpUrl(kSinaApi, "/x"), "http://api.t.sina.com.cn/x");
  EXPECT_EQ(HttpUrl(kSohuApi, "/x"), "http://api.t.sohu.com/x");
  EXPECT_EQ(HttpUrl(kTwitterApi, "/x"), "http://api.twitter.com/x");
  EXPECT_EQ(notices.Count("is not a host or host:port"), 3);
  EXPECT_EQ(ServiceConfig().caFile, "");
  EXPECT_EQ(QWBlogGetOptions().caFile, "");
  EXPECT_EQ(notices.Count("holds no PEM certificate"), 1);

  Spit(dir + "/not-pem.txt", kTestCertificate);
  ReloadServiceConfig();
  EXPECT_EQ(ServiceConfig().caFile, dir + "/not-pem.txt");
  fs::remove(dir + "/Services.ini");
  ReloadServiceConfig();

  for (const char* port : {"0", "70000", "-1"}) {
    ResetSettingsNotices();
    Spit(SettingsPath(), std::string("[Plumfinch]\nProxyRange=2\nProxyPort=") + port + "\n");
    PrepareSettingsAtStart();
    EXPECT_EQ(notices.Count(std::string("the proxy port ") + port + " is not in 1-65535"), 1);
    EXPECT_EQ(ProfileInt(false, "ProxyPort", 0, 5), std::atoi(port)) << "the value is kept";
  }
  ResetSettingsNotices();
  size_t before = notices.Lines().size();
  Spit(SettingsPath(), "[Plumfinch]\nProxyRange=0\nProxyPort=0\n");
  PrepareSettingsAtStart();
  EXPECT_EQ(notices.Lines().size(), before) << "no proxy in use: nothing to say";
}

TEST(CoreDumps, AreOffUnlessTheEnvironmentKeepsThem) {
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_CORE, &old), 0);
  struct rlimit on = old;
  on.rlim_cur = old.rlim_max;
  ASSERT_EQ(setrlimit(RLIMIT_CORE, &on), 0);

  setenv("PLUMFINCH_CORE_DUMPS", "1", 1);
  EXPECT_FALSE(DisableCoreDumps());
  struct rlimit now;
  getrlimit(RLIMIT_CORE, &now);
  EXPECT_EQ(now.rlim_cur, on.rlim_cur);

  unsetenv("PLUMFINCH_CORE_DUMPS");
  EXPECT_TRUE(DisableCoreDumps());
  getrlimit(RLIMIT_CORE, &now);
  EXPECT_EQ(now.rlim_cur, 0u);
  setrlimit(RLIMIT_CORE, &old);
}

TEST(GroupSave, SeveralKeysAreOneReplaceOfTheFile) {
  std::string dir = FreshSettingsFolder("group");
  Spit(SettingsPath(), "[Plumfinch]\r\nAlertAtMe=0\r\nQQName=kept\r\n");
  int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, dir.c_str(), IN_MOVED_TO), 0);
  std::vector<std::pair<std::string, std::string>> boxes = {
      {"AlertAtMe", "1"},  {"FollowingUpdate", "1"}, {"NewFans", "0"},      {"AutoRun", "1"},
      {"SendToQQMB", "1"}, {"SendToSinaMB", "0"},    {"SendToSohuMB", "1"}, {"SendToTwitter", "1"}};
  EXPECT_TRUE(ProfileWriteStrings(boxes));
  alignas(inotify_event) char buffer[4096];
  int renames = 0;
  for (ssize_t n; (n = read(watch, buffer, sizeof buffer)) > 0;) {
    for (char* p = buffer; p < buffer + n;) {
      auto* event = reinterpret_cast<inotify_event*>(p);
      renames += std::string(event->name) == "Setting.ini";
      p += sizeof(inotify_event) + event->len;
    }
  }
  close(watch);
  EXPECT_EQ(renames, 1);
  for (const auto& [key, value] : boxes)
    EXPECT_EQ(ProfileString(false, key.c_str(), "", "?"), value) << key;
  EXPECT_EQ(ProfileString(false, "QQName", "", "?"), "kept");
  EXPECT_EQ(Slurp(SettingsPath()).find("AlertAtMe=1\r\nQQName=kept\r\nFollowingUpdate=1\r\n"), 13u);
}

TEST(DuplicateSections, PartsAreSearchedInOrderAndNewKeysGoToTheFirst) {
  const std::string text = "[Plumfinch]\nA=1\n[Other]\nB=x\n[plumfinch]\nB=2\nA=9\n";
  EXPECT_EQ(IniGetValue(text, "Plumfinch", "A"), "1") << "the first line of the key wins";
  EXPECT_EQ(IniGetValue(text, "Plumfinch", "B"), "2") << "a later part is searched too";
  EXPECT_EQ(IniSetValue(text, "Plumfinch", "B", "3"),
            "[Plumfinch]\nA=1\n[Other]\nB=x\n[plumfinch]\nB=3\nA=9\n");
  EXPECT_EQ(IniSetValue(text, "Plumfinch", "A", "5"),
            "[Plumfinch]\nA=5\n[Other]\nB=x\n[plumfinch]\nB=2\nA=9\n");
  EXPECT_EQ(IniSetValue(text, "Plumfinch", "C", "c"),
            "[Plumfinch]\nA=1\nC=c\n[Other]\nB=x\n[plumfinch]\nB=2\nA=9\n");
}
