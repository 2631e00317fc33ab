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
#include <QUrl>

#include "post/Posting.h"
#include "settings/Profile.h"
#include "tests/post/PostTestUtil.h"
#include "tests/support/TestEnv.h"

using namespace posttest;

namespace {

constexpr int kBoxes[] = {IDC_SEND_TO_TENCENT, IDC_SEND_TO_SINA, IDC_SEND_TO_SOHU,
                          IDC_SEND_TO_TWITTER};

class PostTargetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder =
        CAppHarness::FreshSettings(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override { SetPictureChooserHook({}); }
  // Accounts with made-up tokens: no check here sends anything.
  static void Bind(EService service, const std::string& name) {
    StoreBoundAccount(service, {"token", "secret"}, name, "1");
  }
  CMainDlg* Open() { return dlg = harness.OpenWindow(); }
  std::string Picture() { return dlg->GetDlgItemText(IDC_PICTURE_PATH); }

  std::string folder;
  CAppHarness harness;
  CMainDlg* dlg = nullptr;
};

TEST_F(PostTargetsTest, SendChecksTicksThenEachServiceInOrderAndStopsAtTheFirstFailure) {
  ProfileString(true, "SinaLimit", "0", "");
  Bind(EService::Tencent, "t");
  Bind(EService::Twitter, "w");
  Open();
  // Nothing ticked beats the empty text.
  Click(dlg, IDC_SEND);
  EXPECT_EQ(harness.Messages(), std::vector<std::string>{"请先选择您要发送到哪个微博!"});

  // Tencent and Sohu ticked, Sohu unbound: the Sohu box, and Tencent gets nothing either.
  harness.ClearMessages();
  dlg->SetDlgItemText(IDC_MESSAGE_TEXT, "hello");
  Click(dlg, IDC_SEND_TO_TENCENT);
  Click(dlg, IDC_SEND_TO_SOHU);
  Click(dlg, IDC_SEND);
  EXPECT_EQ(harness.Messages(),
            std::vector<std::string>{"您选择了发表到搜狐微博，但是您尚未绑定搜狐微博账号!"});

  // All four ticked: the first unbound one in the order Tencent, Sina, Sohu, Twitter.
  harness.ClearMessages();
  Click(dlg, IDC_SEND_TO_SINA);
  Click(dlg, IDC_SEND_TO_TWITTER);
  Click(dlg, IDC_SEND);
  CAppHarness::Pump(100);
  EXPECT_EQ(harness.Messages(),
            std::vector<std::string>{"您选择了发表到新浪微博，但是您尚未绑定新浪微博账号!"});
  EXPECT_TRUE(LogLines(dlg).empty());
  EXPECT_TRUE(Enabled(dlg, IDC_SEND));
}

TEST_F(PostTargetsTest, EachUnboundServiceHasItsOwnMessage) {
  ProfileString(true, "SinaLimit", "0", "");
  const struct {
    int box;
    const char* message;
  } rows[] = {
      {IDC_SEND_TO_TENCENT, "您选择了发表到腾讯微博，但是您尚未绑定腾讯微博账号!"},
      {IDC_SEND_TO_SINA, "您选择了发表到新浪微博，但是您尚未绑定新浪微博账号!"},
      {IDC_SEND_TO_SOHU, "您选择了发表到搜狐微博，但是您尚未绑定搜狐微博账号!"},
      {IDC_SEND_TO_TWITTER, "您选择了发表到Twitter，但是您尚未绑定Twitter账号!"},
  };
  Open();
  for (const auto& row : rows) {
    harness.ClearMessages();
    for (int box : kBoxes) dlg->CheckDlgButton(box, box == row.box);
    Click(dlg, IDC_SEND);
    EXPECT_EQ(harness.Messages(), std::vector<std::string>{row.message});
  }
}

TEST_F(PostTargetsTest, EmptyTextIsRefusedByTheWorkerWhileTheButtonIsDisabled) {
  Bind(EService::Sina, "s");
  Open();
  dlg->SetDlgItemText(IDC_PICTURE_PATH, "/tmp/picture.png");  // a picture alone is not enough
  Click(dlg, IDC_SEND_TO_SINA);
  bool enabledDuringBox = true;
  harness.OnMessageBox([&](const std::string&) { enabledDuringBox = Enabled(dlg, IDC_SEND); });
  Click(dlg, IDC_SEND);
  EXPECT_FALSE(Enabled(dlg, IDC_SEND));
  ASSERT_TRUE(CAppHarness::WaitFor([&] { return Enabled(dlg, IDC_SEND); }));
  EXPECT_EQ(harness.Messages(), std::vector<std::string>{"微博内容不能为空!"});
  EXPECT_FALSE(enabledDuringBox);
  EXPECT_TRUE(LogLines(dlg).empty());
  EXPECT_EQ(Picture(), "/tmp/picture.png");
}

TEST_F(PostTargetsTest, SinaAloneWhileTheLimitIsOn) {
  Open();  // "SinaLimit" absent: the rule applies
  Click(dlg, IDC_SEND_TO_TENCENT);
  Click(dlg, IDC_SEND_TO_TWITTER);
  EXPECT_FALSE(Enabled(dlg, IDC_SEND_TO_SINA));
  Click(dlg, IDC_SEND_TO_TENCENT);
  EXPECT_FALSE(Enabled(dlg, IDC_SEND_TO_SINA));  // Twitter is still ticked
  Click(dlg, IDC_SEND_TO_TWITTER);
  EXPECT_TRUE(Enabled(dlg, IDC_SEND_TO_SINA));

  Click(dlg, IDC_SEND_TO_SINA);
  for (int box : {IDC_SEND_TO_TENCENT, IDC_SEND_TO_SOHU, IDC_SEND_TO_TWITTER}) {
    EXPECT_FALSE(Ticked(dlg, box));
    EXPECT_FALSE(Enabled(dlg, box));
  }
  Click(dlg, IDC_SEND_TO_SINA);
  for (int box : {IDC_SEND_TO_TENCENT, IDC_SEND_TO_SOHU, IDC_SEND_TO_TWITTER}) {
    EXPECT_FALSE(Ticked(dlg, box));
    EXPECT_TRUE(Enabled(dlg, box));
  }
}

TEST_F(PostTargetsTest, LimitOffLeavesTheFourBoxesIndependent) {
  ProfileString(true, "SinaLimit", "0", "");
  Open();
  for (int box : kBoxes) Click(dlg, box);
  for (int box : kBoxes) {
    EXPECT_TRUE(Ticked(dlg, box));
    EXPECT_TRUE(Enabled(dlg, box));
  }
}

TEST_F(PostTargetsTest, AtStartSinaWinsOverRestoredOthers) {
  for (const char* key : {"SendToQQMB", "SendToSinaMB", "SendToSohuMB"})
    ProfileString(true, key, "1", "");
  ProfileString(true, "SinaLimit", "1", "");  // anything but "0" keeps the rule
  Open();
  EXPECT_TRUE(Ticked(dlg, IDC_SEND_TO_SINA));
  EXPECT_TRUE(Enabled(dlg, IDC_SEND_TO_SINA));
  for (int box : {IDC_SEND_TO_TENCENT, IDC_SEND_TO_SOHU, IDC_SEND_TO_TWITTER}) {
    EXPECT_FALSE(Ticked(dlg, box));
    EXPECT_FALSE(Enabled(dlg, box));
  }
  harness.CloseWindow();
  ProfileString(true, "SendToSinaMB", "0", "");
  ProfileString(true, "SendToQQMB", "1", "");
  Open();
  EXPECT_TRUE(Ticked(dlg, IDC_SEND_TO_TENCENT));
  EXPECT_FALSE(Ticked(dlg, IDC_SEND_TO_SINA));
  EXPECT_FALSE(Enabled(dlg, IDC_SEND_TO_SINA));
}

// A drop of file URLs, handed to the window as its own drop event.
void Drop(CMainDlg* dlg, const std::vector<std::string>& paths) {
  auto* data = new QMimeData;
  QList<QUrl> urls;
  for (const auto& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
  data->setUrls(urls);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  static_cast<QObject*>(dlg)->event(&drop);
  delete data;
}

TEST_F(PostTargetsTest, DroppedFileIsTakenOnlyWhenItIsOnePicture) {
  Open();
  Drop(dlg, {"/pics/Holiday 01.JPG"});
  EXPECT_EQ(Picture(), "/pics/Holiday 01.JPG");  // capitals kept
  for (const auto& ignored : std::vector<std::vector<std::string>>{
           {"/pics/a.jpeg"}, {"/pics/a.png", "/pics/b.png"}, {"/pics/notes.txt"}, {"/pics/png"}})
    Drop(dlg, ignored);
  EXPECT_EQ(Picture(), "/pics/Holiday 01.JPG");
  Drop(dlg, {"/pics/图片.gif"});
  EXPECT_EQ(Picture(), "/pics/图片.gif");
  dlg->OnDropFiles({"/p/x.Png"});
  EXPECT_EQ(Picture(), "/p/x.Png");
  EXPECT_TRUE(harness.Messages().empty());
}

TEST_F(PostTargetsTest, BrowseSetsThePathAndCancelEmptiesIt) {
  Open();
  SetPictureChooserHook([] { return std::string("/pics/chosen.png"); });
  Click(dlg, IDC_BROWSE_PICTURE);
  EXPECT_EQ(Picture(), "/pics/chosen.png");
  SetPictureChooserHook([] { return std::string(); });
  Click(dlg, IDC_BROWSE_PICTURE);
  EXPECT_EQ(Picture(), "");
}

TEST_F(PostTargetsTest, BrowseDialogOffersPicturesAndRequiresAnExistingFile) {
  const std::string pics = MakeTestFolder("pics", false);
  for (const char* name : {"a.png", "B.JPG", "c.gif", "d.txt"}) WriteFile(pics + "/" + name, "x");
  Open();
  struct {
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    bool parentIsWindow = false;
    QStringList shown;
  } seen;
  auto answer = [&](bool accept) {
    QTimer::singleShot(0, [&, accept] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return ADD_FAILURE() << "no file dialog";
      seen.filters = dialog->nameFilters();
      seen.mode = dialog->fileMode();
      seen.parentIsWindow = dialog->parentWidget() == dlg;
      dialog->setDirectory(QString::fromStdString(pics));
      auto* model = dialog->findChild<QFileSystemModel*>();
      CAppHarness::WaitFor(
          [&] { return model->rowCount(model->index(QString::fromStdString(pics))) >= 3; }, 5000);
      seen.shown.clear();
      const QModelIndex root = model->index(QString::fromStdString(pics));
      for (int r = 0; r < model->rowCount(root); ++r)
        seen.shown << model->index(r, 0, root).data().toString();
      seen.shown.sort();
      if (accept) {
        // Typed into the file-name field, as a user does.
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText("a.png");
        static_cast<QDialog*>(dialog)->accept();  // as the OK button does
      } else {
        dialog->reject();
      }
    });
    Click(dlg, IDC_BROWSE_PICTURE);
  };
  answer(true);
  EXPECT_EQ(Picture(), pics + "/a.png");
  EXPECT_EQ(seen.filters, QStringList{"图片文件(*.jpg;*.gif;*.png)"});
  EXPECT_EQ(seen.mode, QFileDialog::ExistingFile);
  EXPECT_TRUE(seen.parentIsWindow);
  EXPECT_EQ(seen.shown, (QStringList{"B.JPG", "a.png", "c.gif"}));
  answer(false);
  EXPECT_EQ(Picture(), "");
}

}  // namespace
