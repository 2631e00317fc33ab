// The user's side of posting: the send button with its checks and the send worker, the
// rule that lets Sina be posted to only alone, and the picture chosen by the browse
// button or by dropping one file on the window.
#include <QFileDialog>
#include <QFileSystemModel>
#include <algorithm>
#include <mutex>

#include "app/MainDlg.h"
#include "platform/Shell.h"
#include "post/Posting.h"
#include "res/Resource.h"

namespace {

std::mutex g_chooserMutex;
std::function<std::string()> g_chooserHook;

// The send targets in the order the services are posted to.
struct STarget {
  int box;
  EService service;
};
constexpr STarget kTargets[] = {{IDC_SEND_TO_TENCENT, EService::Tencent},
                                {IDC_SEND_TO_SINA, EService::Sina},
                                {IDC_SEND_TO_SOHU, EService::Sohu},
                                {IDC_SEND_TO_TWITTER, EService::Twitter}};

// The targets that Sina excludes while it may only be posted to alone.
constexpr int kOtherTargets[] = {IDC_SEND_TO_TENCENT, IDC_SEND_TO_SOHU, IDC_SEND_TO_TWITTER};

}  // namespace

void SetPictureChooserHook(std::function<std::string()> hook) {
  std::lock_guard<std::mutex> lock(g_chooserMutex);
  g_chooserHook = std::move(hook);
}

// ---- send button and worker ----

void CMainDlg::OnSend() {
  // A disabled button means a send worker is running; there is never a second one.
  if (!IsDlgItemEnabled(IDC_SEND)) return;
  const bool toTencent = IsDlgButtonChecked(IDC_SEND_TO_TENCENT) == BST_CHECKED;
  const bool toSina = IsDlgButtonChecked(IDC_SEND_TO_SINA) == BST_CHECKED;
  const bool toSohu = IsDlgButtonChecked(IDC_SEND_TO_SOHU) == BST_CHECKED;
  const bool toTwitter = IsDlgButtonChecked(IDC_SEND_TO_TWITTER) == BST_CHECKED;
  if (!toTencent && !toSina && !toSohu && !toTwitter) {
    AfxMessageBox("请先选择您要发送到哪个微博!");
    return;
  }
  // Bound flags are only written on this thread, so they are read here directly.
  if (toTencent && !m_bQQBound) {
    AfxMessageBox("您选择了发表到腾讯微博，但是您尚未绑定腾讯微博账号!");
    return;
  }
  if (toSina && !m_bSinaBound) {
    AfxMessageBox("您选择了发表到新浪微博，但是您尚未绑定新浪微博账号!");
    return;
  }
  if (toSohu && !m_bSohuBound) {
    AfxMessageBox("您选择了发表到搜狐微博，但是您尚未绑定搜狐微博账号!");
    return;
  }
  if (toTwitter && !m_bTwitterBound) {
    AfxMessageBox("您选择了发表到Twitter，但是您尚未绑定Twitter账号!");
    return;
  }
  EnableDlgItem(IDC_SEND, false);
  StartWorker(SendThreadProc);
}

unsigned SendThreadProc(CMainDlg* dlg) {
  dlg->PostToTickedServices();
  dlg->EnableDlgItem(IDC_SEND, true);
  return 0;
}

bool CMainDlg::PostToTickedServices() {
  if (IsClosing()) return false;
  // Text and picture are read once; the user may edit them while the posts run.
  const std::string text = GetDlgItemText(IDC_MESSAGE_TEXT);
  const std::string picture = GetDlgItemText(IDC_PICTURE_PATH);
  if (text.empty()) {
    AfxMessageBox("微博内容不能为空!", ClosingFlag());
    return false;
  }
  for (const STarget& target : kTargets) {
    // Each box is read just before its service's turn: unticking it meanwhile skips it.
    if (IsDlgButtonChecked(target.box) != BST_CHECKED) continue;
    switch (target.service) {
      case EService::Tencent:
        PostToTencent(text, picture);
        break;
      case EService::Sina:
        PostToSina(text, picture);
        break;
      case EService::Sohu:
        PostToSohu(text, picture);
        break;
      case EService::Twitter:
        PostToTwitter(text, picture);
        break;
    }
  }
  return true;
}

// ---- send targets ----

void CMainDlg::OnSinaTargetClicked() {
  if (!m_bSinaExclusive) return;
  if (IsDlgButtonChecked(IDC_SEND_TO_SINA) == BST_CHECKED) {
    for (int box : kOtherTargets) {
      CheckDlgButton(box, BST_UNCHECKED);
      EnableDlgItem(box, false);
    }
  } else {
    for (int box : kOtherTargets) EnableDlgItem(box, true);
  }
}

void CMainDlg::OnOtherTargetClicked() {
  if (!m_bSinaExclusive) return;
  const bool anyOther =
      std::any_of(std::begin(kOtherTargets), std::end(kOtherTargets),
                  [this](int box) { return IsDlgButtonChecked(box) == BST_CHECKED; });
  if (anyOther) {
    CheckDlgButton(IDC_SEND_TO_SINA, BST_UNCHECKED);
    EnableDlgItem(IDC_SEND_TO_SINA, false);
  } else {
    EnableDlgItem(IDC_SEND_TO_SINA, true);
  }
}

// ---- picture ----

void CMainDlg::OnBrowsePicture() {
  // A cancelled choice empties the field: the picture chosen before is dropped.
  SetDlgItemText(IDC_PICTURE_PATH, ChoosePictureFile());
}

std::string CMainDlg::ChoosePictureFile() {
  std::function<std::string()> hook;
  {
    std::lock_guard<std::mutex> lock(g_chooserMutex);
    hook = g_chooserHook;
  }
  if (hook) return hook();

  QFileDialog dialog(this);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  dialog.setNameFilter(QStringLiteral("图片文件(*.jpg;*.gif;*.png)"));
  // The filter names its patterns joined by ";", which the dialog would take as one
  // pattern: the folder view gets them one by one (matched without regard to case).
  if (auto* model = dialog.findChild<QFileSystemModel*>())
    model->setNameFilters(
        {QStringLiteral("*.jpg"), QStringLiteral("*.gif"), QStringLiteral("*.png")});
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? std::string() : files.first().toUtf8().toStdString();
}

void CMainDlg::OnDropFiles(const std::vector<std::string>& paths) {
  // Exactly one file, a picture by its extension; anything else is ignored silently.
  if (paths.size() != 1) return;
  const std::string& path = paths.front();
  std::string tail = path.size() > 4 ? path.substr(path.size() - 4) : path;
  for (char& c : tail)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  if (tail == ".jpg" || tail == ".gif" || tail == ".png") SetDlgItemText(IDC_PICTURE_PATH, path);
}
