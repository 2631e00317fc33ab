// The window's side of posting: the send button with its checks before the send worker
// starts, the rule that lets a service that posts only alone be ticked only alone, and
// the picture chosen by the browse button or by dropping one file on the window. The worker itself
// is the post flow's (post/PostFlow.h).
#include <QFileDialog>
#include <QFileSystemModel>
#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "app/MainDlg.h"
#include "platform/Shell.h"
#include "platform/Translation.h"
#include "post/PostFlow.h"
#include "res/Resource.h"
#include "services/Registry.h"

namespace {

std::mutex g_chooserMutex;
std::function<std::string()> g_chooserHook;

// The send boxes of the services that post only alone, or of all the others.
std::vector<int> SendBoxes(bool alone) {
  std::vector<int> boxes;
  for (const SServiceRow* row : ServiceRows())
    if (row->postsOnlyAlone == alone) boxes.push_back(row->window.sendBox.id);
  return boxes;
}

}  // namespace

void SetPictureChooserHook(std::function<std::string()> hook) {
  std::lock_guard<std::mutex> lock(g_chooserMutex);
  g_chooserHook = std::move(hook);
}

// ---- send button ----

void CMainDlg::OnSend() {
  // A disabled button means a send worker is running; there is never a second one.
  if (!IsDlgItemEnabled(IDC_SEND)) return;
  const std::vector<const SServiceRow*>& rows = ServiceRows();
  if (std::none_of(rows.begin(), rows.end(), [this](const SServiceRow* row) {
        return IsDlgButtonChecked(row->window.sendBox.id) == BST_CHECKED;
      })) {
    AfxMessageBox("请先选择您要发送到哪个微博!");
    return;
  }
  for (const SServiceRow* row : rows) {
    if (IsDlgButtonChecked(row->window.sendBox.id) != BST_CHECKED) continue;
    if (ReadAccount(*row).bound) continue;
    AfxMessageBox(row->notBoundText);
    return;
  }
  EnableDlgItem(IDC_SEND, false);
  // Text and picture are taken once; the user may edit them while the posts run. The
  // button comes back when the worker reports its end.
  StartSend(m_session, GetDlgItemText(IDC_MESSAGE_TEXT), GetDlgItemText(IDC_PICTURE_PATH));
}

// ---- send targets ----

void CMainDlg::OnAloneTargetClicked() {
  const std::vector<int> others = SendBoxes(false);
  bool aloneTicked = false;
  for (int box : SendBoxes(true))
    aloneTicked = aloneTicked || IsDlgButtonChecked(box) == BST_CHECKED;
  if (aloneTicked) {
    for (int box : others) {
      CheckDlgButton(box, BST_UNCHECKED);
      EnableDlgItem(box, false);
    }
  } else {
    for (int box : others) EnableDlgItem(box, true);
  }
}

void CMainDlg::OnSharedTargetClicked() {
  const std::vector<int> others = SendBoxes(false);
  const bool anyOther = std::any_of(others.begin(), others.end(), [this](int box) {
    return IsDlgButtonChecked(box) == BST_CHECKED;
  });
  for (int box : SendBoxes(true)) {
    if (anyOther) {
      CheckDlgButton(box, BST_UNCHECKED);
      EnableDlgItem(box, false);
    } else {
      EnableDlgItem(box, true);
    }
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
  dialog.setNameFilter(TrQ("图片文件(*.jpg;*.gif;*.png)"));
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
