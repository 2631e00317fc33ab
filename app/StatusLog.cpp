// The status log: one time-stamped line per event, always appended at the end of the
// log control, from any thread.
#include "app/StatusLog.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <mutex>

#include "app/MainDlg.h"
#include "res/Resource.h"

namespace {
std::mutex g_clockMutex;
std::function<std::time_t()> g_clock;
}  // namespace

std::string StatusLogStamp(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%H:%M-", &local);
  return stamp;
}

void SetStatusLogClock(std::function<std::time_t()> clock) {
  std::lock_guard<std::mutex> lock(g_clockMutex);
  g_clock = std::move(clock);
}

std::time_t StatusLogNow() {
  std::lock_guard<std::mutex> lock(g_clockMutex);
  return g_clock ? g_clock() : std::time(nullptr);
}

void CMainDlg::AppendStatusLog(std::string text) {
  const std::string line = StatusLogStamp(StatusLogNow()) + text + "\r\n";
  // One insertion per line, run on the user-interface thread while the caller waits, so
  // lines from two threads never mix and arrive in call order.
  RunOnUiThread([this, line] {
    auto* log = qobject_cast<QPlainTextEdit*>(GetDlgItem(IDC_STATUS_LOG));
    if (!log) return;
    QString widgetLine = QString::fromUtf8(line.data(), qsizetype(line.size()));
    widgetLine.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor cursor = log->textCursor();
    cursor.movePosition(QTextCursor::End);  // whatever the user had selected
    log->setTextCursor(cursor);
    log->ensureCursorVisible();
    cursor.insertText(widgetLine);
    log->setTextCursor(cursor);
    log->ensureCursorVisible();
  });
}
