// Menu commands of the main window: quick access to the services' sites, the help menu,
// the proxy dialog, and the start-with-the-system box.
#include <QFileInfo>
#include <QUrl>

#include "app/AutoStart.h"
#include "app/MainDlg.h"
#include "app/ProxySetDlg.h"
#include "net/ServiceHosts.h"
#include "platform/Shell.h"
#include "platform/Translation.h"
#include "res/Resource.h"
#include "res/Templates.h"
#include "settings/Ini.h"

namespace {

// The project's page; a placeholder until the project has a site of its own.
constexpr const char* kBlogUrl = "https://plumfinch.example.org/";

// The usage guide in the window's language as a file:// address (blanks and other special
// characters of the folder name percent-encoded). It lies beside the program in a build tree or a
// portable folder, and in <prefix>/share/plumfinch for a program installed in <prefix>/bin.
std::string UsagePageUrl() {
  const QString exe = QString::fromUtf8(RunningExecutablePath().c_str());
  const QString folder = exe.isEmpty() ? QStringLiteral(".") : QFileInfo(exe).absolutePath();
  const QString name = CurrentLanguage() == ELanguage::English ? QStringLiteral("/usage_en.html")
                                                               : QStringLiteral("/usage.html");
  QString page = folder + name;
  if (!QFileInfo::exists(page)) {
    const std::string data = InstalledDataFolder(folder.toStdString());
    if (!data.empty()) page = QString::fromStdString(data) + name;
  }
  return QUrl::fromLocalFile(page).toString(QUrl::FullyEncoded).toStdString();
}

}  // namespace

// ---- start with the system ----

void CMainDlg::OnAutoRunClicked() { SetAutoRun(IsDlgButtonChecked(IDC_AUTO_RUN) != BST_UNCHECKED); }

void CMainDlg::SetAutoRun(bool enable) {
  // Failures are silent: the box keeps the state the user gave it, and that state is
  // saved at close all the same.
  if (enable)
    WriteAutostartEntry(RunningExecutablePath());
  else
    RemoveAutostartEntry();
}

// ---- quick access: the services' sites (the fixed ones always over plain HTTP) ----

void CMainDlg::OnOpenWeb(const SServiceRow& row) {
  if (row.web) {
    ShellOpenUrl(HttpUrl(*row.web, "/"));
    return;
  }
  const SAccountSnapshot account = m_session.Account(row);
  if (row.storesServer && account.bound && !account.server.empty())
    ShellOpenUrl("https://" + account.server + "/");
  else if (row.webAddress)
    ShellOpenUrl(row.webAddress);
}

// ---- help ----

void CMainDlg::OnHelpUsage() { ShellOpenUrl(UsagePageUrl()); }
void CMainDlg::OnHelpBlog() { ShellOpenUrl(kBlogUrl); }
void CMainDlg::OnHelpContact() { AfxMessageBox(LoadResourceString(IDS_CONTACT_TEXT)); }

// ---- settings ----

void CMainDlg::OnProxySettings() {
  CProxySetDlg dlg(this);
  // When the main window ends meanwhile (the exit command from a signal at logout), the
  // dialog goes with it as if cancelled; otherwise the program would wait for the user.
  QObject::connect(this, &QDialog::finished, &dlg, [&dlg] { dlg.EndDialog(IDCANCEL); });
  dlg.DoModal();
}
