// The user's side of posting in the real main window, without any service: the checks of
// the send button, the empty-text refusal of the send worker, the rule that lets Sina be
// posted to only alone, and the picture taken from the browse dialog or a dropped file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMimeData>
#include <QTimer>
#include <algorithm>

#include "post/PostFlow.h"
#include "settings/Profile.h"
#include "tests/post/PostTestUtil.h"
#include "tests/support/TestEnv.h"

using namespace posttest;
using Texts = std::vector<std::string>;

namespace {

constexpr int kOthers[] = {IDC_SEND_TO_TENCENT, IDC_SEND_TO_SOHU, IDC_SEND_TO_TWITTER,
                           IDC_SEND_TO_MASTODON, IDC_SEND_TO_BLUESKY};

class PostTargetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CAppHarness::FreshSettings(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override { SetPictureChooserHook({}); }
  CMainDlg* Open() { return dlg = harness.OpenWindow(); }
  std::string Picture() { return dlg->GetDlgItemText(IDC_PICTURE_PATH); }
  // Ticks exactly the given boxes and clicks send; the message boxes it showed.
  Texts SendTo(std::initializer_list<int> boxes) {
    harness.ClearMessages();
    for (int box : {IDC_SEND_TO_TENCENT, IDC_SEND_TO_SINA, IDC_SEND_TO_SOHU, IDC_SEND_TO_TWITTER})
      dlg->CheckDlgButton(box, std::find(boxes.begin(), boxes.end(), box) != boxes.end());
    Click(dlg, IDC_SEND);
    return harness.Messages();
  }

  CAppHarness harness;
  CMainDlg* dlg = nullptr;
};

TEST_F(PostTargetsTest, SendChecksTicksThenBindingsInServiceOrder) {
  ProfileString(true, "SinaLimit", "0", "");
  // Made-up tokens: no check here lets anything be sent.
  StoreBoundAccount(EService::Tencent, {"token", "secret"}, "t");
  Open();
  EXPECT_EQ(SendTo({}), Texts{"请先选择您要发送到哪个微博!"});  // before the empty text
  dlg->SetDlgItemText(IDC_MESSAGE_TEXT, "hello");
  // Tencent bound, Sohu not: the Sohu message, and Tencent gets nothing either.
  EXPECT_EQ(SendTo({IDC_SEND_TO_TENCENT, IDC_SEND_TO_SOHU}),
            Texts{"您选择了发表到搜狐微博，但是您尚未绑定搜狐微博账号!"});
  EXPECT_EQ(SendTo({IDC_SEND_TO_TWITTER, IDC_SEND_TO_SINA, IDC_SEND_TO_SOHU}),
            Texts{"您选择了发表到新浪微博，但是您尚未绑定新浪微博账号!"});
  EXPECT_EQ(SendTo({IDC_SEND_TO_TWITTER}),
            Texts{"您选择了发表到Twitter，但是您尚未绑定Twitter账号!"});
  harness.CloseWindow();
  ProfileString(true, "QQName", "", "");  // unbound again
  Open();
  dlg->SetDlgItemText(IDC_MESSAGE_TEXT, "hello");
  EXPECT_EQ(SendTo({IDC_SEND_TO_TENCENT, IDC_SEND_TO_TWITTER}),
            Texts{"您选择了发表到腾讯微博，但是您尚未绑定腾讯微博账号!"});
  CAppHarness::Pump(100);
  EXPECT_TRUE(LogLines(dlg).empty());
  EXPECT_TRUE(Enabled(dlg, IDC_SEND));
}

TEST_F(PostTargetsTest, EmptyTextIsRefusedByTheWorkerWhileTheButtonIsDisabled) {
  StoreBoundAccount(EService::Sina, {"token", "secret"}, "s", "1");
  Open();
  dlg->SetDlgItemText(IDC_PICTURE_PATH, "/tmp/picture.png");  // a picture alone is not enough
  bool enabledDuringBox = true;
  harness.OnMessageBox([&](const std::string&) { enabledDuringBox = Enabled(dlg, IDC_SEND); });
  EXPECT_EQ(SendTo({IDC_SEND_TO_SINA}), Texts{});  // the worker has not asked yet
  EXPECT_FALSE(Enabled(dlg, IDC_SEND));
  ASSERT_TRUE(CAppHarness::WaitFor([&] { return Enabled(dlg, IDC_SEND); }));
  EXPECT_EQ(harness.Messages(), Texts{"微博内容不能为空!"});
  EXPECT_FALSE(enabledDuringBox);
  EXPECT_TRUE(LogLines(dlg).empty());
  EXPECT_EQ(Picture(), "/tmp/picture.png");
}

TEST_F(PostTargetsTest, SinaIsPostedToAloneUnlessTheLimitIsZero) {
  Open();  // "SinaLimit" absent: the rule applies
  Click(dlg, IDC_SEND_TO_TENCENT);
  Click(dlg, IDC_SEND_TO_TWITTER);
  Click(dlg, IDC_SEND_TO_TENCENT);
  EXPECT_FALSE(Enabled(dlg, IDC_SEND_TO_SINA));  // Twitter is still ticked
  Click(dlg, IDC_SEND_TO_TWITTER);
  EXPECT_TRUE(Enabled(dlg, IDC_SEND_TO_SINA));
  Click(dlg, IDC_SEND_TO_MASTODON);  // the fifth box excludes Sina like the others
  EXPECT_FALSE(Enabled(dlg, IDC_SEND_TO_SINA) || Ticked(dlg, IDC_SEND_TO_SINA));
  Click(dlg, IDC_SEND_TO_MASTODON);
  EXPECT_TRUE(Enabled(dlg, IDC_SEND_TO_SINA));
  Click(dlg, IDC_SEND_TO_BLUESKY);  // and so does the sixth
  EXPECT_FALSE(Enabled(dlg, IDC_SEND_TO_SINA) || Ticked(dlg, IDC_SEND_TO_SINA));
  Click(dlg, IDC_SEND_TO_BLUESKY);
  EXPECT_TRUE(Enabled(dlg, IDC_SEND_TO_SINA));
  for (bool sina : {true, false}) {
    Click(dlg, IDC_SEND_TO_SINA);
    for (int box : kOthers) {
      EXPECT_FALSE(Ticked(dlg, box));
      EXPECT_EQ(Enabled(dlg, box), !sina);
    }
  }
  harness.CloseWindow();
  ProfileString(true, "SinaLimit", "0", "");
  Open();
  for (int box : {IDC_SEND_TO_SINA, IDC_SEND_TO_TENCENT, IDC_SEND_TO_SOHU, IDC_SEND_TO_TWITTER,
                  IDC_SEND_TO_MASTODON, IDC_SEND_TO_BLUESKY})
    Click(dlg, box);
  for (int box : {IDC_SEND_TO_TENCENT, IDC_SEND_TO_SINA, IDC_SEND_TO_SOHU, IDC_SEND_TO_TWITTER,
                  IDC_SEND_TO_MASTODON, IDC_SEND_TO_BLUESKY})
    EXPECT_TRUE(Ticked(dlg, box) && Enabled(dlg, box));
}

TEST_F(PostTargetsTest, AtStartSinaWinsOverRestoredOthers) {
  for (const char* key :
       {"SendToQQMB", "SendToSinaMB", "SendToSohuMB", "SendToMastodon", "SendToBluesky"})
    ProfileString(true, key, "1", "");
  ProfileString(true, "SinaLimit", "1", "");  // anything but "0" keeps the rule
  Open();
  EXPECT_TRUE(Ticked(dlg, IDC_SEND_TO_SINA) && Enabled(dlg, IDC_SEND_TO_SINA));
  for (int box : kOthers) EXPECT_FALSE(Ticked(dlg, box) || Enabled(dlg, box));
}

// A drop of file URLs, handed to the window as its own drop event.
void Drop(CMainDlg* dlg, const Texts& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const auto& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
  data.setUrls(urls);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  static_cast<QObject*>(dlg)->event(&drop);
}

TEST_F(PostTargetsTest, PictureComesFromOneDroppedPictureOrTheBrowseChoice) {
  Open();
  Drop(dlg, {"/pics/Holiday 01.JPG"});
  EXPECT_EQ(Picture(), "/pics/Holiday 01.JPG");  // capitals kept
  for (const Texts& ignored : {Texts{"/p/a.jpeg"}, Texts{"/p/a.png", "/p/b.png"}, Texts{"/p/png"}})
    Drop(dlg, ignored);
  EXPECT_EQ(Picture(), "/pics/Holiday 01.JPG");
  Drop(dlg, {"/pics/图片.Gif"});
  EXPECT_EQ(Picture(), "/pics/图片.Gif");
  EXPECT_TRUE(harness.Messages().empty());

  SetPictureChooserHook([] { return std::string("/pics/chosen.png"); });
  Click(dlg, IDC_BROWSE_PICTURE);
  EXPECT_EQ(Picture(), "/pics/chosen.png");
  SetPictureChooserHook([] { return std::string(); });  // cancelled
  Click(dlg, IDC_BROWSE_PICTURE);
  EXPECT_EQ(Picture(), "");
}

TEST_F(PostTargetsTest, BrowseDialogShowsOnlyPictures) {
  const std::string pics = MakeTestFolder("pics", false);
  for (const char* name : {"a.png", "B.JPG", "c.gif", "d.txt"}) WriteFile(pics + "/" + name, "x");
  Open();
  QStringList filters, shown;
  auto answer = [&](bool accept) {
    QTimer::singleShot(0, [&, accept] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return ADD_FAILURE() << "no file dialog";
      EXPECT_EQ(dialog->parentWidget(), dlg);
      EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
      filters = dialog->nameFilters();
      dialog->setDirectory(QString::fromStdString(pics));
      auto* model = dialog->findChild<QFileSystemModel*>();
      const QModelIndex root = model->index(QString::fromStdString(pics));
      CAppHarness::WaitFor([&] { return model->rowCount(root) >= 3; }, 5000);
      shown.clear();
      for (int r = 0; r < model->rowCount(root); ++r)
        shown << model->index(r, 0, root).data().toString();
      shown.sort();
      if (!accept) return dialog->reject();
      dialog->findChild<QLineEdit*>("fileNameEdit")->setText("a.png");  // typed by the user
      static_cast<QDialog*>(dialog)->accept();                          // as OK does
    });
    Click(dlg, IDC_BROWSE_PICTURE);
  };
  answer(true);
  EXPECT_EQ(Picture(), pics + "/a.png");
  EXPECT_EQ(filters, QStringList{"图片文件(*.jpg;*.gif;*.png)"});
  EXPECT_EQ(shown, (QStringList{"B.JPG", "a.png", "c.gif"}));
  answer(false);
  EXPECT_EQ(Picture(), "");
}

}  // namespace
