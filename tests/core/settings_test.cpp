// The settings file: reading files written by hand or by Windows (UTF-16 included),
// in-place writes, atomic replacement, hostile files, and where the file lives.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "settings/Ini.h"
#include "settings/Profile.h"
#include "tests/core/CoreTestUtil.h"

using namespace coretest;

namespace {

std::string ReadText(const char* key, const std::string& def = "") {
  return ProfileString(false, key, "", def);
}

size_t FilesIn(const std::string& folder) {
  size_t n = 0;
  for (auto& entry : std::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++n;
  }
  return n;
}

// The bytes of a UTF-16 file: its byte-order mark, then units in that byte order.
std::string Utf16(const std::u16string& units, bool little) {
  std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
  for (char16_t unit : units) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += little ? low : high;
    bytes += little ? high : low;
  }
  return bytes;
}

}  // namespace

TEST(Settings, MissingFileGivesDefaultsAndIsCreatedByTheFirstWrite) {
  std::string dir = FreshSettingsFolder("missing");
  EXPECT_EQ(SettingsPath(), dir + "/Setting.ini");
  EXPECT_EQ(ReadText("QQName"), "");
  EXPECT_EQ(ReadText("AlertAtMe", "1"), "1");
  EXPECT_EQ(ProfileInt(false, "ProxyRange", 0, 7), 7);
  EXPECT_FALSE(std::filesystem::exists(SettingsPath())) << "reading must not create the file";

  EXPECT_EQ(ProfileString(true, "QQName", "alice", ""), "alice");
  EXPECT_EQ(Slurp(SettingsPath()), "[Plumfinch]\r\nQQName=alice\r\n");
  EXPECT_EQ(FileMode(SettingsPath()), 0600u);
  EXPECT_EQ(ReadText("QQName"), "alice");
  EXPECT_EQ(ReadText("QQAccessToken", "none"), "none");
}

TEST(Settings, TextIsCutToTheBufferSize) {
  FreshSettingsFolder("cut");
  std::string longText(300, 'x');
  longText += "\xE4\xB8\xAD";
  ProfileString(true, "SinaName", longText, "");
  EXPECT_EQ(ReadText("SinaName"), std::string(255, 'x'));
  EXPECT_EQ(ProfileString(false, "SinaName", "", "", 4), "xxx");
  EXPECT_EQ(ProfileString(false, "SinaName", "", "", 1), "");
  // The whole value is kept in the file.
  EXPECT_NE(Slurp(SettingsPath()).find(longText), std::string::npos);
}

TEST(Settings, NumbersRoundTripAsSigned32Bit) {
  FreshSettingsFolder("numbers");
  const int address = static_cast<int>((192u << 24) | (168u << 16) | (1u << 8) | 1u);
  ASSERT_EQ(address, -1062731519);
  EXPECT_EQ(ProfileInt(true, "ProxyIP", address, 0), address);
  EXPECT_NE(Slurp(SettingsPath()).find("ProxyIP=-1062731519\r\n"), std::string::npos);
  EXPECT_EQ(ProfileInt(false, "ProxyIP", 0, 0), -1062731519);
  ProfileInt(true, "ProxyIP", -1, 0);
  EXPECT_EQ(ProfileInt(false, "ProxyIP", 0, 5), -1);
}

TEST(Settings, NumbersAreReadTheWayWindowsReadsThem) {
  EXPECT_EQ(IniParseInt("+1"), 1);
  EXPECT_EQ(IniParseInt("-1"), -1);
  EXPECT_EQ(IniParseInt("42A94967297"), 42);
  EXPECT_EQ(IniParseInt("B4294967297"), 0);
  EXPECT_EQ(IniParseInt("4294967297"), 1);
  EXPECT_EQ(IniParseInt("-4294967297"), -1);
  EXPECT_EQ(IniParseInt("3232235777"), -1062731519);

  FreshSettingsFolder("numbers-hand");
  Spit(SettingsPath(), "[Plumfinch]\nProxyType=yes\nProxyPort=\nProxyRange= 2 \n");
  EXPECT_EQ(ProfileInt(false, "ProxyType", 0, 9), 0) << "a present non-number reads as 0";
  EXPECT_EQ(ProfileInt(false, "ProxyPort", 0, 9), 9) << "an empty value reads as missing";
  EXPECT_EQ(ProfileInt(false, "ProxyRange", 0, 9), 2);
}

TEST(Settings, ReadsAWindowsFileWrittenByHand) {
  FreshSettingsFolder("hand");
  Spit(SettingsPath(),
       "\xEF\xBB\xBF; written on Windows\r\n"
       "[Other]\r\n"
       "QQName=wrong section\r\n"
       "\r\n"
       "[ plumfinch ]\r\n"
       "# comment=not a key\r\n"
       "  qqname  =  \xE5\xBC\xA0\xE4\xB8\x89  \r\n"
       "AlertAtMe=true\r\n"
       "NewFans=yes\r\n"
       "SinaLimit=0\r\n"
       "a line without equals\r\n"
       "SohuName=last line without ending");
  EXPECT_EQ(ReadText("QQName"), "\xE5\xBC\xA0\xE4\xB8\x89");
  EXPECT_EQ(ReadText("AlertAtMe", "1"), "true");
  EXPECT_EQ(ReadText("NewFans", "1"), "yes");
  EXPECT_EQ(ReadText("SinaLimit"), "0");
  EXPECT_EQ(ReadText("SohuName"), "last line without ending");
  EXPECT_EQ(ReadText("# comment", "d"), "d");
  EXPECT_EQ(ReadText("a line without equals", "d"), "d");
}

TEST(Settings, Utf16FilesAreReadAndWrittenBackInTheirOwnEncoding) {
  struct SCase {
    const char* what;
    std::u16string before;  // the file's text
    const char* key;
    const char* oldValue;  // what the key reads as first ("" when missing)
    const char* newValue;
    std::u16string after;
  };
  const SCase cases[] = {
      {"a key replaced in place, CJK and an emoji kept",
       u"; 设置 😀\r\n[Plumfinch]\r\nQQName=张三\r\nSinaName=x\r\n", "QQName", "张三", "李四",
       u"; 设置 😀\r\n[Plumfinch]\r\nQQName=李四\r\nSinaName=x\r\n"},
      {"a key added to the section, LF endings kept", u"[Other]\nk=v\n[plumfinch]\nA=1\n[Z]\n",
       "MastodonName", "", "@用户@mastodon.example",
       u"[Other]\nk=v\n[plumfinch]\nA=1\nMastodonName=@用户@mastodon.example\n[Z]\n"},
      {"an empty file (only the mark) gets the section", u"", "AlertAtMe", "", "1",
       u"[Plumfinch]\r\nAlertAtMe=1\r\n"},
  };
  for (const SCase& c : cases) {
    for (bool little : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (little ? ", LE" : ", BE"));
      FreshSettingsFolder("utf16");
      Spit(SettingsPath(), Utf16(c.before, little));
      EXPECT_EQ(ReadText(c.key), c.oldValue);
      ProfileString(true, c.key, c.newValue, "");
      EXPECT_EQ(Slurp(SettingsPath()), Utf16(c.after, little));
      EXPECT_EQ(FileMode(SettingsPath()), 0600u);
      EXPECT_EQ(ReadText(c.key), c.newValue);
    }
  }
}

TEST(Settings, OnlyZeroBytesAndBrokenUtf16AreNotText) {
  struct SCase {
    const char* what;
    std::string bytes;
    bool text;
    EIniEncoding encoding;
    std::string decoded;
  };
  using namespace std::string_literals;
  const SCase cases[] = {
      {"GBK bytes, not UTF-8", "[Plumfinch]\nQQName=\xD5\xC5\xC8\xFD\n", true, EIniEncoding::Bytes,
       "[Plumfinch]\nQQName=\xD5\xC5\xC8\xFD\n"},
      {"UTF-8 with its mark", "\xEF\xBB\xBF[A]", true, EIniEncoding::Bytes, "\xEF\xBB\xBF[A]"},
      {"UTF-16 LE, only the mark", "\xFF\xFE", true, EIniEncoding::Utf16Le, ""},
      {"UTF-16 BE, a surrogate pair", "\xFE\xFF\xD8\x3D\xDE\x00"s, true, EIniEncoding::Utf16Be,
       "\xF0\x9F\x98\x80"},
      {"a zero byte in UTF-8", "[A]\nk=a\0b\n"s, false, EIniEncoding::Bytes, ""},
      {"UTF-16 without its mark", "[\0A\0]\0"s, false, EIniEncoding::Bytes, ""},
      {"UTF-16 LE of odd length", "\xFF\xFE[\0A"s, false, EIniEncoding::Bytes, ""},
      {"UTF-16 LE, a high surrogate at the end", "\xFF\xFEk\0\x3D\xD8"s, false, EIniEncoding::Bytes,
       ""},
      {"UTF-16 BE, a high surrogate before a letter", "\xFE\xFF\xD8\x3D\0k"s, false,
       EIniEncoding::Bytes, ""},
      {"UTF-16 BE, a low surrogate alone", "\xFE\xFF\xDE\x00"s, false, EIniEncoding::Bytes, ""},
      {"UTF-16 LE holding U+0000", "\xFF\xFEk\0\0\0"s, false, EIniEncoding::Bytes, ""},
      {"UTF-32 LE", "\xFF\xFE\0\0k\0\0\0"s, false, EIniEncoding::Bytes, ""},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = "left over";
    EIniEncoding encoding = EIniEncoding::Utf16Be;
    EXPECT_EQ(IniDecode(c.bytes, text, encoding), c.text);
    EXPECT_EQ(encoding, c.encoding);
    EXPECT_EQ(text, c.decoded);
    if (c.text) {
      EXPECT_EQ(IniEncode(text, encoding), c.bytes) << "written back as it came";
    }
  }
  // Bytes that are not UTF-8 cannot be told in UTF-16; they become U+FFFD.
  EXPECT_EQ(IniEncode("a\xFF", EIniEncoding::Utf16Le), "\xFF\xFE\x61\0\xFD\xFF"s);
}

TEST(Settings, WritesReplaceTheKeyLineAndKeepEveryOtherByte) {
  FreshSettingsFolder("inplace");
  const std::string before =
      "\xEF\xBB\xBF; my settings\r\n"
      "[Other]\r\n"
      "QQName=other\r\n"
      "[Plumfinch]\r\n"
      "QQName = old\r\n"
      "   ; indented comment\r\n"
      "SinaName=s\r\n"
      "\r\n"
      "[Third]\r\n"
      "x=1\r\n";
  Spit(SettingsPath(), before);
  ProfileString(true, "QQName", "new", "");
  ProfileString(true, "TwitterName", "tw", "");
  EXPECT_EQ(Slurp(SettingsPath()),
            "\xEF\xBB\xBF; my settings\r\n"
            "[Other]\r\n"
            "QQName=other\r\n"
            "[Plumfinch]\r\n"
            "QQName=new\r\n"
            "   ; indented comment\r\n"
            "SinaName=s\r\n"
            "TwitterName=tw\r\n"
            "\r\n"
            "[Third]\r\n"
            "x=1\r\n");
}

TEST(Settings, WritesFollowTheFileLineEndingAndAppendTheSection) {
  FreshSettingsFolder("endings");
  Spit(SettingsPath(), "[Other]\nk=v");
  ProfileInt(true, "ProxyPort", 8080, 0);
  EXPECT_EQ(Slurp(SettingsPath()), "[Other]\nk=v\n[Plumfinch]\nProxyPort=8080\n");
  Spit(SettingsPath(), "[Plumfinch]\nProxyType=4");
  ProfileInt(true, "ProxyPort", 1080, 0);
  EXPECT_EQ(Slurp(SettingsPath()), "[Plumfinch]\nProxyType=4\nProxyPort=1080");
}

TEST(Settings, AValueCannotAddLinesOfItsOwn) {
  FreshSettingsFolder("inject");
  ProfileString(true, "QQName", "eve\r\nQQAccessToken=stolen", "");
  EXPECT_EQ(ReadText("QQAccessToken", "none"), "none");
  EXPECT_EQ(ReadText("QQName"), "eve  QQAccessToken=stolen");
}

TEST(Settings, AFailedWriteLeavesTheOldFileIntact) {
  std::string dir = FreshSettingsFolder("failed-write");
  const std::string before = "[Plumfinch]\r\nQQName=kept\r\n";
  Spit(SettingsPath(), before);
  // A file-size limit makes the write of the new file fail, even for root.
  std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = old;
  small.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  ProfileString(true, "QQAccessToken", std::string(200, 't'), "");
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(Slurp(SettingsPath()), before);
  EXPECT_EQ(FilesIn(dir), 1u) << "no temporary file may be left behind";

  if (geteuid() != 0) {  // permissions do not stop root
    std::filesystem::permissions(
        dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    ProfileString(true, "QQName", "lost", "");
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    EXPECT_EQ(Slurp(SettingsPath()), before);
  }
}

TEST(Settings, HostileFilesNeverCrashAndAreNeverDestroyed) {
  FreshSettingsFolder("hostile");
  // Binary noise without zero bytes (a file in some code page may look like that):
  // readable text that holds no keys. Noise with zero bytes is kept aside (hardening_test).
  std::string noise;
  for (int i = 0; i < 5000; ++i) noise.push_back(static_cast<char>((i * 7919) % 255 + 1));
  Spit(SettingsPath(), noise);
  EXPECT_EQ(ReadText("QQName", "d"), "d");
  EXPECT_EQ(Slurp(SettingsPath()), noise) << "reading must not change the file";
  ProfileString(true, "QQName", "x", "");
  std::string after = Slurp(SettingsPath());
  EXPECT_EQ(after.substr(0, noise.size()), noise) << "writing keeps the foreign bytes";
  EXPECT_EQ(ReadText("QQName"), "x");

  // Too large to be a settings file: no keys, and no write that would drop it.
  std::string huge(10u << 20, 'A');
  huge.replace(0, 20, "[Plumfinch]\nQQName=z\n");
  Spit(SettingsPath(), huge);
  EXPECT_EQ(ReadText("QQName", "d"), "d");
  ProfileString(true, "QQName", "x", "");
  EXPECT_EQ(Slurp(SettingsPath()), huge);

  // Not a file at all.
  std::filesystem::remove(SettingsPath());
  std::filesystem::create_directory(SettingsPath());
  EXPECT_EQ(ProfileInt(false, "ProxyPort", 0, 3), 3);
  ProfileInt(true, "ProxyPort", 1, 0);
  EXPECT_TRUE(std::filesystem::is_directory(SettingsPath()));
}

TEST(Settings, WritesThroughASymbolicLinkKeepTheLink) {
  std::string dir = FreshSettingsFolder("symlink");
  std::string real = FreshFolder("symlink-target") + "/real.ini";
  Spit(real, "[Plumfinch]\r\n");
  std::filesystem::create_symlink(real, SettingsPath());
  ProfileString(true, "QQName", "linked", "");
  EXPECT_TRUE(std::filesystem::is_symlink(SettingsPath()));
  EXPECT_EQ(Slurp(real), "[Plumfinch]\r\nQQName=linked\r\n");
}

TEST(Settings, FolderFollowsTheEnvironmentThenTheExecutableThenXdg) {
  std::string base = FreshFolder("location");
  std::string configured = base + "/configured/deeper";
  setenv("PLUMFINCH_CONFIG_DIR", (configured + "/").c_str(), 1);
  EXPECT_EQ(SettingsFolder(), configured);
  EXPECT_TRUE(std::filesystem::is_directory(configured));

  unsetenv("PLUMFINCH_CONFIG_DIR");
  std::string exeDir = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  EXPECT_EQ(SettingsFolder(), exeDir) << "the test's own folder is writable";
  setenv("PLUMFINCH_CONFIG_DIR", "", 1);
  EXPECT_EQ(ChooseSettingsFolder(base), base) << "an empty variable counts as unset";

  std::string noExe = base + "/no-such-folder";
  setenv("XDG_CONFIG_HOME", (base + "/xdg").c_str(), 1);
  EXPECT_EQ(ChooseSettingsFolder(noExe), base + "/xdg/Plumfinch");
  EXPECT_EQ(FileMode(base + "/xdg/Plumfinch"), 0700u);

  std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
  setenv("HOME", (base + "/home").c_str(), 1);
  EXPECT_EQ(ChooseSettingsFolder(noExe), base + "/home/.config/Plumfinch");
  EXPECT_TRUE(std::filesystem::is_directory(base + "/home/.config/Plumfinch"));
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", oldHome.c_str(), 1);
}

TEST(Settings, AnInstalledProgramsFolderIsNotAPortableOne) {
  // <prefix>/bin with <prefix>/share/plumfinch beside it is an installed program: even
  // when the user may write there (root and /usr/bin), the settings go to the XDG folder.
  const std::string base = FreshFolder("installed");
  std::filesystem::create_directories(base + "/usr/bin");
  std::filesystem::create_directories(base + "/portable/bin");
  EXPECT_EQ(InstalledDataFolder(base + "/usr/bin"), "");
  std::filesystem::create_directories(base + "/usr/share/plumfinch");
  EXPECT_EQ(InstalledDataFolder(base + "/usr/bin/"), base + "/usr/share/plumfinch");
  EXPECT_EQ(InstalledDataFolder(base + "/usr/share"), "") << "only a bin folder";
  unsetenv("PLUMFINCH_CONFIG_DIR");
  setenv("XDG_CONFIG_HOME", (base + "/xdg").c_str(), 1);
  EXPECT_EQ(ChooseSettingsFolder(base + "/usr/bin"), base + "/xdg/Plumfinch");
  EXPECT_EQ(ChooseSettingsFolder(base + "/portable/bin"), base + "/portable/bin");
  unsetenv("XDG_CONFIG_HOME");
}
