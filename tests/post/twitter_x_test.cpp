// Twitter on X's current interface end to end: the real window binds with the PIN from the
// emulator's X server and posts a status with a picture there, then the same status again,
// which X refuses as a duplicate. The server checks every signature with oauthlib.
#include <gtest/gtest.h>

#include <QCryptographicHash>

#include "net/TextOps.h"
#include "tests/post/PostTestUtil.h"
#include "tests/support/Emulator.h"
#include "tests/support/TestEnv.h"

using namespace posttest;
using Lines = std::vector<std::string>;

namespace {

TEST(TwitterX, BindsAndPostsWithAPictureThenHearsOfTheDuplicate) {
  CAppHarness::App();
  CEmulator emulator;
  ASSERT_TRUE(emulator.Start(MakeTestFolder("emulator", false)));
  const std::string folder = CAppHarness::FreshSettings("twitter_x");
  CAppHarness::UseEmulator(emulator, folder, true, 2);
  CAppHarness harness;
  CMainDlg* dlg = harness.OpenWindow();

  // The user reads the PIN on the authorisation page and types it in.
  std::string page;
  harness.Urls().onUrl = [&](const std::string& url) {
    page = url;
    AnswerCodeDialog(
        emulator.VerifierFor(GetQueryValue(url.substr(url.find('?') + 1), "oauth_token")));
  };
  Click(dlg, IDC_BIND_TWITTER);
  ASSERT_TRUE(CAppHarness::WaitFor([dlg] { return !dlg->IsBinding(); }, 60000));
  EXPECT_EQ(page.rfind("https://127.0.0.1:" + std::to_string(emulator.Port("x_api")) +
                           "/oauth/authorize?oauth_token=",
                       0),
            0u);
  EXPECT_TRUE(harness.Messages().empty());
  EXPECT_TRUE(LogHas(dlg, "绑定成功(twitter_user)!"));

  const std::string bytes = "\x89PNG\r\n\x1a\n" + std::string(4000, '\x5a');
  const std::string picture = folder + "/photo.png";
  ASSERT_TRUE(WriteFile(picture, bytes));
  Click(dlg, IDC_SEND_TO_TWITTER);
  auto post = [&] {
    dlg->SetDlgItemText(IDC_MESSAGE_TEXT, "带图的推文 with a picture 😀");
    dlg->SetDlgItemText(IDC_PICTURE_PATH, picture);
    const size_t before = LogLines(dlg).size();
    EXPECT_TRUE(SendAndWait(dlg, 60000));
    const Lines all = LogLines(dlg);
    return Lines(all.begin() + long(before), all.end());
  };

  Lines lines = post();
  const QJsonArray posts = emulator.Posts("twitter");
  ASSERT_EQ(posts.size(), 1);
  const QJsonObject posted = posts[0].toObject();
  EXPECT_EQ(lines, (Lines{"正在发到Twitter...",
                          "成功发表一条Tweet! https://x.com/i/status/" + Str(posted["id"])}));
  EXPECT_EQ(Str(posted["text"]), "带图的推文 with a picture 😀");
  EXPECT_EQ(Str(posted["picture_sha256"]),
            QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
                .toHex()
                .toStdString());
  for (const QJsonValue& v : emulator.Requests("twitter")) {  // all signed right
    const QJsonObject oauth = v.toObject()["oauth"].toObject();
    EXPECT_EQ(oauth["valid"].toBool(), oauth["checked"].toBool()) << Str(oauth["reason"]);
  }

  lines = post();
  EXPECT_EQ(lines, (Lines{"正在发到Twitter...", "发表Tweet失败!",
                          "原因:You are not allowed to create a Tweet with duplicate content."}));
  EXPECT_EQ(emulator.Posts("twitter").size(), 1);
}

}  // namespace
