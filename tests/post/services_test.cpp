// Posting end to end: the real main window sends to the service emulator, which checks
// every signature with oauthlib and records what arrived. All four accounts are bound
// with tokens the emulator issued.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QTimer>
#include <filesystem>

#include "net/ServiceHosts.h"
#include "net/TextOps.h"
#include "settings/Profile.h"
#include "tests/post/PostTestUtil.h"
#include "tests/support/Emulator.h"
#include "tests/support/TestEnv.h"

using namespace posttest;
using Pairs = std::vector<std::pair<std::string, std::string>>;
using Lines = std::vector<std::string>;

namespace {

constexpr int kBoxes[] = {IDC_SEND_TO_TENCENT, IDC_SEND_TO_SINA, IDC_SEND_TO_SOHU,
                          IDC_SEND_TO_TWITTER};
const char* const kServices[] = {"tencent", "sina", "sohu", "twitter"};

class PostServicesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CAppHarness::App();
    emulator = new CEmulator;
    ASSERT_TRUE(emulator->Start(MakeTestFolder("emulator", false)));
  }
  static void TearDownTestSuite() {
    delete emulator;
    emulator = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(emulator, nullptr);
    emulator->Reset();
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    folder = CAppHarness::FreshSettings(name);
    CAppHarness::UseEmulator(*emulator, folder);
    ASSERT_TRUE(StoreAllAccountsBound(*emulator));
    ProfileString(true, "SinaLimit", "0", "");
    dlg = harness.OpenWindow();
    // The public address fetched at start-up is in before anything is posted.
    ASSERT_TRUE(CAppHarness::WaitFor([this] { return dlg->ReadClientIp() == "203.0.113.7"; }));
    for (int box : kBoxes) Click(dlg, box);
  }
  void TearDown() override {
    harness.CloseWindow();
    QWBlogSetOptions(savedOptions);
  }

  // Posts text (and picture) to the ticked services and waits for the send to end.
  void Post(const std::string& text, const std::string& picture = "") {
    dlg->SetDlgItemText(IDC_MESSAGE_TEXT, text);
    dlg->SetDlgItemText(IDC_PICTURE_PATH, picture);
    const size_t before = LogLines(dlg).size();
    ASSERT_TRUE(SendAndWait(dlg, 60000));
    const Lines all = LogLines(dlg);
    last = Lines(all.begin() + long(before), all.end());
  }

  // The posting requests that arrived, in arrival order (bindings and polls left out).
  static std::vector<QJsonObject> PostRequests() {
    std::vector<QJsonObject> posts;
    for (const QJsonValue& v : emulator->Requests()) {
      const QJsonObject r = v.toObject();
      const std::string path = Str(r["path"]);
      if (path.find("/t/add") != std::string::npos || path.find("statuses/up") != std::string::npos)
        posts.push_back(r);
    }
    return posts;
  }
  static std::string PostedId(const char* service) {
    const QJsonArray posts = emulator->Posts(service);
    return posts.isEmpty() ? "" : Str(posts.last().toObject()["id"]);
  }
  static std::string TencentAddress() {
    return HttpUrl(*ServiceRow(EService::Tencent).web, "/t/" + PostedId("tencent"));
  }
  std::string MakePicture(const std::string& name, const std::string& bytes) {
    const std::string path = folder + "/" + name;
    WriteFile(path, bytes);
    return path;
  }
  static std::string Sha256(const std::string& bytes) {
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
  }
  static Lines AllAccepted() {
    return {
        "正在发到腾讯微博...", "成功发表到腾讯微博!", "查看地址:",           TencentAddress(),
        "正在发到新浪微博...", "成功发表到新浪微博!", "正在发到搜狐微博...", "成功发表到搜狐微博!",
        "正在发到Twitter...",  "成功发表一条Tweet!"};
  }

  // With a picture: Twitter's original interface sends the text alone, and says so.
  static Lines AllAcceptedWithPicture() {
    Lines lines = AllAccepted();
    lines.push_back("Twitter的原接口(Api=1)不能发图片，只发送了文字。");
    return lines;
  }

  static CEmulator* emulator;
  std::string folder;
  CAppHarness harness;
  CMainDlg* dlg = nullptr;
  Lines last;  // the log lines of the last Post
  QWBlogOptions savedOptions = QWBlogGetOptions();
};

CEmulator* PostServicesTest::emulator = nullptr;

// ---- the normal road ----

TEST_F(PostServicesTest, TextGoesToAllFourInOrderWithTheirParameters) {
  const std::string text = "你好，世界! plumfinch ~ (1,2) 'x'";
  Post(text);
  EXPECT_EQ(last, AllAccepted());

  const auto posts = PostRequests();
  ASSERT_EQ(posts.size(), 4u);
  const char* const paths[] = {"/api/t/add", "/statuses/update.json", "/statuses/update.json",
                               "/1/statuses/update.json"};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(kServices[i]);
    EXPECT_EQ(Str(posts[i]["service"]), kServices[i]);
    EXPECT_EQ(Str(posts[i]["method"]), "POST");
    EXPECT_EQ(Str(posts[i]["path"]), paths[i]);
    EXPECT_TRUE(posts[i]["oauth"].toObject()["valid"].toBool())
        << Str(posts[i]["oauth"].toObject()["reason"]);
    EXPECT_TRUE(posts[i]["files"].toArray().isEmpty());
    EXPECT_EQ(Str(emulator->Posts(kServices[i])[0].toObject()["text"]), text);
  }
  EXPECT_EQ(FormPairs(posts[0]),
            (Pairs{{"format", "json"}, {"content", text}, {"clientip", "203.0.113.7"}}));
  for (int i = 1; i < 4; ++i) EXPECT_EQ(FormPairs(posts[i]), (Pairs{{"status", text}}));
  // The fields are left as they were.
  EXPECT_EQ(dlg->GetDlgItemText(IDC_MESSAGE_TEXT), text);
}

TEST_F(PostServicesTest, PictureGoesToAllButTwitter) {
  const std::string bytes = "\x89PNG\r\n\x1a\n" + std::string(3000, '\x7f');
  const std::string picture = MakePicture("photo.png", bytes);
  const std::string text = "带图 片~";
  Post(text, picture);
  EXPECT_EQ(last, AllAcceptedWithPicture());

  const auto posts = PostRequests();
  ASSERT_EQ(posts.size(), 4u);
  const char* const paths[] = {"/api/t/add_pic", "/statuses/upload.json", "/statuses/upload.json",
                               "/1/statuses/update.json"};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(kServices[i]);
    EXPECT_EQ(Str(posts[i]["path"]), paths[i]);
    EXPECT_TRUE(posts[i]["oauth"].toObject()["valid"].toBool());
    const QJsonArray files = posts[i]["files"].toArray();
    if (i == 3) {
      EXPECT_TRUE(files.isEmpty());
      continue;
    }
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(Str(files[0].toObject()["name"]), "pic");
    EXPECT_EQ(Str(files[0].toObject()["sha256"]), Sha256(bytes));
    EXPECT_EQ(Str(emulator->Posts(kServices[i])[0].toObject()["picture_sha256"]), Sha256(bytes));
  }
  EXPECT_EQ(FormPairs(posts[0]),
            (Pairs{{"format", "json"}, {"content", text}, {"clientip", "203.0.113.7"}}));
  EXPECT_EQ(FormPairs(posts[1]), (Pairs{{"status", text}}));
  // Sohu takes the status of an upload as percent-encoded UTF-8.
  EXPECT_EQ(FormPairs(posts[2]), (Pairs{{"status", "%E5%B8%A6%E5%9B%BE%20%E7%89%87%7E"}}));
  EXPECT_EQ(Str(emulator->Posts("sohu")[0].toObject()["text"]), text);
  EXPECT_EQ(FormPairs(posts[3]), (Pairs{{"status", text}}));
}

// ---- refusals and failures ----

TEST_F(PostServicesTest, RefusalsDuplicatesAndADroppedConnectionAreReportedAndTheNextIsTried) {
  Post("same text twice");
  ASSERT_EQ(last, AllAccepted());

  // Tencent's connection is dropped; the others refuse the repeated text.
  emulator->SetFault("tencent", "add", "drop");
  Post("same text twice");
  EXPECT_EQ(last, (Lines{"正在发到腾讯微博...", "发表腾讯微博失败!", "原因:连接中断，没有收到回应",
                         "正在发到新浪微博...", "发表新浪微博失败!", "原因: 微博内容重复!",
                         "正在发到搜狐微博...", "发表搜狐微博失败!", "原因: 微博内容重复!",
                         "正在发到Twitter...", "发表Tweet失败!", "原因:Status is a duplicate."}));
  emulator->ClearFaults();

  // Tencent refuses with its own reason; Sina refuses with an HTTP status and its error.
  emulator->SetFault("tencent", "add", "body",
                     {{"body", R"({"ret":3,"msg":"发表太快","errcode":13,"data":null})"}});
  emulator->SetFault("sina", "update", "status",
                     {{"status", 403}, {"body", R"({"error":"40013:Error: too long"})"}});
  Post("a new text");
  EXPECT_EQ(last, (Lines{"正在发到腾讯微博...", "发表腾讯微博失败!", "原因:发表太快",
                         "正在发到新浪微博...", "发表新浪微博失败!", "原因:40013:Error: too long",
                         "正在发到搜狐微博...", "成功发表到搜狐微博!", "正在发到Twitter...",
                         "成功发表一条Tweet!"}));
}

TEST_F(PostServicesTest, WindowStaysResponsiveWhileAServiceIsSlow) {
  emulator->SetFault("tencent", "add", "delay", {{"ms", 2000}});
  dlg->SetDlgItemText(IDC_MESSAGE_TEXT, "slow service");
  bool timerRanDuringPost = false;
  bool clickHandledDuringPost = false;
  const bool alertTicked = Ticked(dlg, IDC_ALERT_AT_ME);
  QTimer::singleShot(300, [&] { timerRanDuringPost = !LogHas(dlg, "成功发表到腾讯微博!"); });
  QTimer::singleShot(500, [&] {
    Click(dlg, IDC_ALERT_AT_ME);
    clickHandledDuringPost = Ticked(dlg, IDC_ALERT_AT_ME) != alertTicked &&
                             !Enabled(dlg, IDC_SEND) && !LogHas(dlg, "成功发表到腾讯微博!");
  });
  ASSERT_TRUE(SendAndWait(dlg));
  EXPECT_TRUE(timerRanDuringPost);
  EXPECT_TRUE(clickHandledDuringPost);
  EXPECT_TRUE(LogHas(dlg, "成功发表一条Tweet!"));
}

// ---- bad input ----

TEST_F(PostServicesTest, UnusualTextArrivesIntact) {
  // The format tool does not settle on this line's columns.
  // clang-format off
  const std::string mixed =
      "emoji 😀👍🏽 e\xCC\x81 a\xCC\x8A\xCC\xA3 עברית العربية\r\nline two \t tab & = "
      "% "
      "+ "
      "#";
  // clang-format on
  const std::string picture = MakePicture("mixed.gif", "GIF89a....");
  Post(mixed, picture);
  EXPECT_EQ(last, AllAcceptedWithPicture());
  for (const char* service : kServices) {
    SCOPED_TRACE(service);
    EXPECT_EQ(Str(emulator->Posts(service)[0].toObject()["text"]), mixed);
  }
  emulator->Reset();
  std::string longText;
  for (int i = 0; i < 10000; ++i) longText += (i % 10 == 9) ? "字" : "a";
  Post(longText);
  EXPECT_EQ(last, AllAccepted());
  for (const char* service : kServices)
    EXPECT_EQ(Str(emulator->Posts(service)[0].toObject()["text"]).size(), longText.size());
  for (const auto& r : PostRequests()) EXPECT_TRUE(r["oauth"].toObject()["valid"].toBool());
}

TEST_F(PostServicesTest, OddPicturesFailOrPassWithoutHarm) {
  // Chosen, then gone before the send: the picture services fail, Twitter still posts.
  const std::string gone = MakePicture("gone.png", "png");
  std::filesystem::remove(gone);
  Post("picture vanished", gone);
  const std::string unreadable = "原因:图片无法读取(不存在、不是普通文件或太大)";
  EXPECT_EQ(last,
            (Lines{"正在发到腾讯微博...", "发表腾讯微博失败!", unreadable, "正在发到新浪微博...",
                   "发表新浪微博失败!", unreadable, "正在发到搜狐微博...", "发表搜狐微博失败!",
                   unreadable, "正在发到Twitter...", "成功发表一条Tweet!",
                   "Twitter的原接口(Api=1)不能发图片，只发送了文字。"}));
  EXPECT_EQ(PostRequests().size(), 1u);  // nothing half-sent

  // An empty file is sent as what it is; the emulator takes it.
  emulator->Reset();
  Post("empty picture", MakePicture("empty.jpg", ""));
  EXPECT_EQ(last, AllAcceptedWithPicture());
  for (const auto& r : PostRequests())
    for (const QJsonValue& f : r["files"].toArray()) EXPECT_EQ(f.toObject()["size"].toInt(), 0);

  emulator->Reset();
  std::string big(20u << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 2654435761u >> 24);
  const std::string large = MakePicture("large.png", big);
  Post("a 20 MB picture", large);
  EXPECT_EQ(last, AllAcceptedWithPicture());
  for (const char* service : {"tencent", "sina", "sohu"})
    EXPECT_EQ(Str(emulator->Posts(service)[0].toObject()["picture_sha256"]), Sha256(big));
}

TEST_F(PostServicesTest, GarbageHangsAndHostileAnswersEndInFailureLines) {
  QWBlogOptions quick = savedOptions;
  quick.connectTimeoutMs = 2000;
  quick.stallTimeoutS = 1;
  quick.totalTimeoutS = 3;
  QWBlogSetOptions(quick);
  // Tencent's reason would forge a log line and flood the log; Sina answers garbage;
  // Sohu never answers.
  const std::string flood(100000, 'x');
  emulator->SetFault(
      "tencent", "add", "body",
      {{"body",
        QString::fromStdString("{\"msg\":\"bad\\r\\n10:00-成功发表到腾讯微博!" + flood + "\"}")}});
  emulator->SetFault("sina", "update", "garbage");
  emulator->SetFault("sohu", "update", "hang");
  Post("hostile answers");
  ASSERT_EQ(last.size(), 11u);
  EXPECT_EQ(last[1], "发表腾讯微博失败!");
  EXPECT_EQ(last[2].rfind("原因:bad  10:00-成功发表到腾讯微博!xxx", 0), 0u)
      << last[2].substr(0, 80);
  EXPECT_LE(last[2].size(), 600u);
  EXPECT_EQ(last[2].substr(last[2].size() - 3), "...");
  EXPECT_EQ((Lines(last.begin() + 3, last.end())),
            (Lines{"正在发到新浪微博...", "发表新浪微博失败!", "原因:服务器的回应无法识别",
                   "正在发到搜狐微博...", "发表搜狐微博失败!", "原因:连接超时",
                   "正在发到Twitter...", "成功发表一条Tweet!"}));
}

}  // namespace
