// The status log's time stamp and its clock (replaceable so a test can stand at midnight),
// and the queue that carries lines from any thread to the log control.
#pragma once
#include <QPointer>
#include <QString>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>

class QPlainTextEdit;

// "%H:%M-" of the given local time.
std::string StatusLogStamp(std::time_t when);
// The clock the status log reads; {} restores the system clock.
void SetStatusLogClock(std::function<std::time_t()> clock);
std::time_t StatusLogNow();

// Lines on their way into the log control. Any thread adds whole lines under one lock, so
// they keep their call order and never mix; the user-interface thread moves everything
// waiting into the control with one insertion, so a burst of lines costs one layout and
// one repaint instead of one per line.
class CStatusLogQueue {
 public:
  // Most characters left waiting before an adding worker waits for the control to take
  // them: a flood of lines cannot grow memory faster than the control takes it in.
  static constexpr qsizetype kMaxWaiting = 1 << 20;

  // Adds line (widget line breaks). True when the caller must arrange a Flush: the first
  // line since the last one. *waiting receives the characters now waiting.
  bool Add(const QString& line, qsizetype* waiting = nullptr);
  // User-interface thread: appends every waiting line at the end of the control, caret
  // at the end and scrolled into view. Lines wait while no control is set.
  void Flush();
  // User-interface thread: the control the lines go to; takes what is waiting.
  void SetControl(QPlainTextEdit* log);

 private:
  std::mutex m_mutex;
  QString m_waiting;               // under m_mutex
  bool m_flushDue = false;         // under m_mutex: a Flush will run for what is waiting
  QPointer<QPlainTextEdit> m_log;  // user-interface thread only
};
