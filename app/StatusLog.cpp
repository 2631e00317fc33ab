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

bool CStatusLogQueue::Add(const QString& line, qsizetype* waiting) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_waiting += line;
  if (waiting) *waiting = m_waiting.size();
  const bool first = !m_flushDue;
  m_flushDue = true;
  return first;
}

void CStatusLogQueue::Flush() {
  if (!m_log) return;
  QString text;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    text.swap(m_waiting);
    m_flushDue = false;
  }
  if (text.isEmpty()) return;
  // At the end whatever the user had selected; one insertion for the whole batch. The
  // control's own caret is moved only when the user put it elsewhere: when it stands at
  // the end it follows the insertion by itself, and setting it anew on every line costs
  // more the longer the log is.
  QTextCursor cursor = m_log->textCursor();
  if (cursor.hasSelection() || !cursor.atEnd()) {
    cursor.movePosition(QTextCursor::End);
    m_log->setTextCursor(cursor);
  }
  cursor.insertText(text);
  m_log->ensureCursorVisible();
}

void CStatusLogQueue::SetControl(QPlainTextEdit* log) {
  m_log = log;
  Flush();
}

void CMainDlg::AppendStatusLog(std::string text) {
  const std::string line = StatusLogStamp(StatusLogNow()) + text + "\r\n";
  // Converted here, on the caller's thread, so the user-interface thread only inserts.
  QString widgetLine = QString::fromUtf8(line.data(), qsizetype(line.size()));
  widgetLine.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  qsizetype waiting = 0;
  const bool first = m_statusLog->Add(widgetLine, &waiting);
  if (IsUiThread()) {
    // Lines of workers still waiting go in first, then this one: call order.
    m_statusLog->Flush();
  } else if (waiting > CStatusLogQueue::kMaxWaiting) {
    // The control is far behind: wait for it (never while the window closes).
    SendToUiThread([queue = m_statusLog] { queue->Flush(); }, ClosingFlag());
  } else if (first) {
    // No wait: the user-interface thread takes this line, and any that follow before it
    // gets to it, at its next turn of the event loop.
    PostToUiThread([queue = m_statusLog] { queue->Flush(); });
  }
}

void CMainDlg::SyncControl(int id) {
  if (id == IDC_STATUS_LOG) m_statusLog->Flush();
}
