// Message boxes and browser opening.
#include "platform/Shell.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <mutex>

#include "platform/Translation.h"
#include "platform/UiThread.h"
#include "settings/Profile.h"

namespace {
std::mutex g_hookMutex;
std::function<void(const std::string&)> g_hook;
std::atomic<bool> g_programEnding{false};
}  // namespace

void BeginProgramEnd() { g_programEnding.store(true); }
bool IsProgramEnding() { return g_programEnding.load(); }

void SetMessageBoxHook(std::function<void(const std::string&)> hook) {
  std::lock_guard<std::mutex> lock(g_hookMutex);
  g_hook = std::move(hook);
}

void AfxMessageBox(const std::string& text, const std::atomic<bool>* abandon) {
  if (IsProgramEnding()) return;
  SendToUiThread(
      [source = text] {
        // The box shows the text in the window's language (a text composed and translated
        // by the caller is passed as it is).
        const std::string text = Tr(source);
        std::function<void(const std::string&)> hook;
        {
          std::lock_guard<std::mutex> lock(g_hookMutex);
          hook = g_hook;
        }
        if (hook) {
          hook(text);
          return;
        }
        QMessageBox box(QMessageBox::Warning, QString::fromUtf8(APP_NAME),
                        QString::fromUtf8(text.c_str()), QMessageBox::Ok,
                        QApplication::activeWindow());
        // Service answers end up in these texts: never let them be read as rich text. The
        // text can be selected and copied (an address to open by hand, a reason).
        box.setTextFormat(Qt::PlainText);
        box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        box.exec();
      },
      abandon);
}

bool ShellOpenUrl(const std::string& url) {
  // QUrl's tolerant mode keeps the address as given (an unencoded token stays as is).
  QUrl target(QString::fromUtf8(url.c_str()), QUrl::TolerantMode);
  if (IsUiThread()) return QDesktopServices::openUrl(target);
  PostToUiThread([target] { QDesktopServices::openUrl(target); });
  return true;
}
