// The user's side of posting: the send button with its checks and the send worker, the
// rule that lets Sina be posted to only alone, and the picture chosen by the browse
// button or by dropping one file on the window.
#include <QFileDialog>
#include <QFileSystemModel>
#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "app/MainDlg.h"
#include "app/ServiceControls.h"
#include "platform/Shell.h"
#include "post/Posting.h"
#include "res/Resource.h"

namespace {

std::mutex g_chooserMutex;
std::function<std::string()> g_chooserHook;

// The targets that Sina excludes while it may only be posted to alone.
constexpr int kOtherTargets[] = {IDC_SEND_TO_TENCENT, IDC_SEND_TO_SOHU, IDC_SEND_TO_TWITTER,
                                 IDC_SEND_TO_MASTODON};

}  // namespace

void SetPictureChooserHook(std::function<std::string()> hook) {
  std::lock_guard<std::mutex> lock(g_chooserMutex);
  g_chooserHook = std::move(hook);
}

// ---- send button and worker ----

void CMainDlg::OnSend() {
  // A disabled button means a send worker is running; there is never a second one.
  if (!IsDlgItemEnabled(IDC_SEND)) return;
  bool anyTicked = false;
  for (const SServiceControls& controls : kServiceControls)
    anyTicked = anyTicked || IsDlgButtonChecked(controls.sendBox) == BST_CHECKED;
  if (!anyTicked) {
    AfxMessageBox("请先选择您要发送到哪个微博!");
    return;
  }
  for (const SServiceControls& controls : kServiceControls) {
    if (IsDlgButtonChecked(controls.sendBox) != BST_CHECKED) continue;
    if (ReadAccount(controls.service).bound) continue;
    AfxMessageBox(ServiceRow(controls.service).notBoundText);
    return;
  }
  EnableDlgItem(IDC_SEND, false);
  StartWorker([](CMainDlg* dlg) {
    dlg->PostToTickedServices();
    dlg->EnableDlgItem(IDC_SEND, true);
    return 0u;
  });
}

void CMainDlg::PostToTickedServices() {
  if (IsClosing()) return;
  // Text and picture are read once; the user may edit them while the posts run.
  const std::string text = GetDlgItemText(IDC_MESSAGE_TEXT);
  const std::string picture = GetDlgItemText(IDC_PICTURE_PATH);
  if (text.empty()) {
    AfxMessageBox("微博内容不能为空!", ClosingFlag());
    return;
  }
  // A service with limits of its own (Mastodon's status length) is asked first: a status
  // it would refuse goes nowhere, so the user can shorten it and send it everywhere. The
  // boxes are read together, in one hand-over to the user-interface thread.
  // The call may still run after a closing window gave up waiting for it: what it fills
  // is shared, not on this stack.
  auto ticked = std::make_shared<std::vector<EService>>();
  if (!RunOnUiThread([this, ticked] {
        for (const SServiceControls& controls : kServiceControls)
          if (IsDlgButtonChecked(controls.sendBox) == BST_CHECKED)
            ticked->push_back(controls.service);
      }))
    return;  // the window is closing
  for (EService service : *ticked) {
    std::string message;
    if (CheckPost(ServiceRow(service), m_state, ServiceIo(service), text, message)) continue;
    AfxMessageBox(message, ClosingFlag());
    return;
  }
  for (const SServiceControls& controls : kServiceControls) {
    // Each box is read just before its service's turn: unticking it meanwhile skips it.
    if (IsDlgButtonChecked(controls.sendBox) != BST_CHECKED) continue;
    PostStatus(ServiceRow(controls.service), m_state, ServiceIo(controls.service), text, picture);
  }
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
