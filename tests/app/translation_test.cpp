// The language chosen at start, the fallback to Chinese when the English texts cannot be
// loaded, and lines with arguments composed after translation.
#include "platform/Translation.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

TEST(Language, TheLocaleDecidesUnlessPlumfinchLangSaysZhOrEn) {
  constexpr ELanguage zh = ELanguage::Chinese, en = ELanguage::English;
  struct {
    const char *plumfinch, *lcAll, *lcMessages, *lang;
    ELanguage expected;
  } cases[] = {
      {nullptr, nullptr, nullptr, nullptr, zh},
      {nullptr, nullptr, nullptr, "zh_CN.UTF-8", zh},
      {nullptr, nullptr, nullptr, "C", zh},
      {nullptr, nullptr, nullptr, "C.UTF-8", zh},
      {nullptr, nullptr, nullptr, "POSIX", zh},
      {nullptr, nullptr, nullptr, "en_US.UTF-8", en},
      {nullptr, nullptr, nullptr, "fr_FR.UTF-8", en},  // no French: English, not a mix
      {nullptr, nullptr, nullptr, "zhx", en},
      // LC_ALL before LC_MESSAGES before LANG; an empty one counts as unset.
      {nullptr, "en_GB.UTF-8", "zh_CN.UTF-8", "zh_CN.UTF-8", en},
      {nullptr, "", "zh_CN.UTF-8", "en_US.UTF-8", zh},
      {nullptr, nullptr, "C", "en_US.UTF-8", zh},
      // PLUMFINCH_LANG overrides; a value other than zh or en is ignored.
      {"en", "zh_CN.UTF-8", nullptr, nullptr, en},
      {"zh", "en_US.UTF-8", nullptr, nullptr, zh},
      {"fr", nullptr, nullptr, "en_US.UTF-8", en},
      {"", nullptr, nullptr, "C", zh},
  };
  for (const auto& c : cases) {
    const auto name = [](const char* v) { return v ? "\"" + std::string(v) + "\"" : "unset"; };
    EXPECT_EQ(ChooseLanguage(c.plumfinch, c.lcAll, c.lcMessages, c.lang), c.expected)
        << name(c.plumfinch) << " " << name(c.lcAll) << " " << name(c.lcMessages) << " "
        << name(c.lang);
  }
}

class Translation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("PLUMFINCH_DEBUG_LOG", "1", 1);  // read once, at the first line of the log
    static int argc = 1;
    static char arg0[] = "translation_test";
    static char* argv[] = {arg0, nullptr};
    static QCoreApplication app(argc, argv);
    mkdir(std::getenv("PLUMFINCH_TEST_TMP"), 0700);
  }
  void TearDown() override { InstallTranslation(ELanguage::Chinese); }
};

TEST_F(Translation, AMissingOrBrokenFileLeavesChineseAndSaysSoOnce) {
  const std::string broken = std::string(std::getenv("PLUMFINCH_TEST_TMP")) + "/broken.qm";
  std::ofstream(broken) << "not a translation file";
  const std::string empty = std::string(std::getenv("PLUMFINCH_TEST_TMP")) + "/empty.qm";
  std::ofstream(empty).flush();
  // The built file cut in half: no half of the texts may show in English.
  const std::string cut = std::string(std::getenv("PLUMFINCH_TEST_TMP")) + "/cut.qm";
  std::stringstream built;
  built << std::ifstream(PF_BINARY_DIR "/i18n/plumfinch_en.qm", std::ios::binary).rdbuf();
  std::ofstream(cut, std::ios::binary) << built.str().substr(0, built.str().size() / 2);
  for (const std::string& file :
       {std::string("/nonexistent/plumfinch_en.qm"), broken, empty, cut}) {
    // An English translation loaded before is replaced, not kept behind the broken one.
    ASSERT_EQ(InstallTranslation(ELanguage::English), ELanguage::English);
    ::testing::internal::CaptureStderr();  // the debug log
    EXPECT_EQ(InstallTranslation(ELanguage::English, QString::fromStdString(file)),
              ELanguage::Chinese)
        << file;
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(CurrentLanguage(), ELanguage::Chinese) << file;
    EXPECT_EQ(Tr("绑定失败!"), "绑定失败!") << file;
    EXPECT_EQ(log, "plumfinch: the English texts (" + file +
                       ") could not be loaded; the window shows Chinese\n");
  }
}

TEST_F(Translation, ArgumentsAreSubstitutedAfterTheFormatIsTranslated) {
  ASSERT_EQ(InstallTranslation(ELanguage::English), ELanguage::English);
  // A value stays as it is, even one that reads like a source text or a placeholder.
  EXPECT_EQ(TrText({"绑定成功(%1)!", {TextValue("@连接超时%2@example.org")}}),
            "Bound (@连接超时%2@example.org)!");
  // Arguments that are texts are translated too, to any depth, each in its place.
  EXPECT_EQ(TrText({"原因:%1", {{"图片上传失败(%1)", {"连接超时"}}}}),
            "Reason: the picture upload failed (the connection timed out)");
  EXPECT_EQ(TrText({"发到Mastodon的内容有%1个字符，超过了服务器允许的%2个字符。\r\n\r\n"
                    "请删减后再发送，本次没有发出任何内容。",
                    {TextValue("600"), TextValue("500")}}),
            "The status for Mastodon has 600 characters, more than the 500 the server "
            "allows.\r\n\r\nPlease shorten it and send again. Nothing was posted.");
  // A text without a translation shows as its source.
  EXPECT_EQ(TrText({"HTTP %1", {TextValue("503")}}), "HTTP 503");
  // In Chinese the same lines are composed from the sources.
  InstallTranslation(ELanguage::Chinese);
  EXPECT_EQ(TrText({"原因:%1", {{"图片上传失败(%1)", {"连接超时"}}}}),
            "原因:图片上传失败(连接超时)");
}

}  // namespace
