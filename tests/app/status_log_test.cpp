// The status log: one "%H:%M-" stamped line per call, always at the end, from any thread.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <atomic>
#include <thread>

#include "app/MainDlg.h"
#include "app/StatusLog.h"
#include "res/Resource.h"
#include "tests/support/AppHarness.h"

namespace {

std::atomic<int> g_appended{0};

// A window worker that appends until the window closes, and three lines more after that.
unsigned AppendUntilClosing(CMainDlg* dlg) {
  int n = 0;
  while (!dlg->IsClosing()) {
    dlg->AppendStatusLog("c" + std::to_string(n));
    g_appended = ++n;
  }
  for (int i = 0; i < 3; ++i) {
    dlg->AppendStatusLog("c" + std::to_string(n));
    g_appended = ++n;
  }
  return 0;
}

std::time_t LocalTime(int hour, int minute) {
  std::tm t{};
  t.tm_year = 126;
  t.tm_mon = 11;
  t.tm_mday = 7;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

class StatusLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CAppHarness::FreshSettings(::testing::UnitTest::GetInstance()->current_test_info()->name());
    dlg = harness.OpenWindow();
  }
  void TearDown() override { SetStatusLogClock({}); }
  std::string Log() { return dlg->GetDlgItemText(IDC_STATUS_LOG); }
  CAppHarness harness;
  CMainDlg* dlg = nullptr;
};

TEST_F(StatusLogTest, LinesCarryTheStampAndTheTextUnchanged) {
  SetStatusLogClock([] { return LocalTime(9, 5); });
  dlg->AppendStatusLog("绑定到腾讯微博...");
  dlg->AppendStatusLog("");
  dlg->AppendStatusLog("  spaced  ");
  EXPECT_EQ(Log(), "09:05-绑定到腾讯微博...\r\n09:05-\r\n09:05-  spaced  \r\n");
}

TEST_F(StatusLogTest, MidnightRollsOverWithoutADate) {
  SetStatusLogClock([] { return LocalTime(23, 59); });
  dlg->AppendStatusLog("a");
  SetStatusLogClock([] { return LocalTime(0, 0); });
  dlg->AppendStatusLog("b");
  EXPECT_EQ(Log(), "23:59-a\r\n00:00-b\r\n");
}

TEST_F(StatusLogTest, EmbeddedLineBreaksAddLinesWithOneStamp) {
  SetStatusLogClock([] { return LocalTime(12, 30); });
  dlg->AppendStatusLog("first\r\nsecond");
  EXPECT_EQ(Log(), "12:30-first\r\nsecond\r\n");
}

TEST_F(StatusLogTest, AUserSelectionIsKeptAndTheLineGoesToTheEnd) {
  SetStatusLogClock([] { return LocalTime(8, 0); });
  dlg->AppendStatusLog("one");
  dlg->AppendStatusLog("two");
  auto* log = qobject_cast<QPlainTextEdit*>(dlg->GetDlgItem(IDC_STATUS_LOG));
  QTextCursor cursor = log->textCursor();
  cursor.setPosition(2);
  cursor.setPosition(8, QTextCursor::KeepAnchor);
  log->setTextCursor(cursor);
  dlg->AppendStatusLog("three");
  EXPECT_EQ(Log(), "08:00-one\r\n08:00-two\r\n08:00-three\r\n");
  EXPECT_FALSE(log->textCursor().hasSelection());
  EXPECT_EQ(log->textCursor().position(), log->document()->characterCount() - 1);
  // The log is read-only to the user and keeps no undo history of its own lines.
  EXPECT_TRUE(log->isReadOnly());
  EXPECT_FALSE(log->document()->isUndoAvailable());
}

TEST_F(StatusLogTest, WorkersAppendWholeLinesInCallOrder) {
  SetStatusLogClock([] { return LocalTime(10, 10); });
  constexpr int kLines = 50;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int i = 0; i < kLines; ++i) dlg->AppendStatusLog("w" + std::to_string(i));
    done = true;
  });
  ASSERT_TRUE(CAppHarness::WaitFor([&] { return done.load(); }, 10000));
  worker.join();
  std::string expected;
  for (int i = 0; i < kLines; ++i) expected += "10:10-w" + std::to_string(i) + "\r\n";
  EXPECT_EQ(Log(), expected);
}

TEST_F(StatusLogTest, LongLogsAreNeverTrimmed) {
  SetStatusLogClock([] { return LocalTime(1, 2); });
  const std::string line(300, 'x');
  for (int i = 0; i < 400; ++i) dlg->AppendStatusLog(line);
  EXPECT_EQ(Log().size(), 400 * (6 + 300 + 2));
}

TEST_F(StatusLogTest, AWorkerAppendingWhileTheWindowClosesLosesNoLine) {
  // Every line appended before the window is gone reaches its control, the ones a worker
  // adds while the window closes included, and nothing runs after the control is gone.
  SetStatusLogClock([] { return LocalTime(10, 10); });
  auto* log = qobject_cast<QPlainTextEdit*>(dlg->GetDlgItem(IDC_STATUS_LOG));
  int lines = 0;
  std::string lastLine;
  QObject::connect(log->document(), &QTextDocument::blockCountChanged, [&](int blocks) {
    lines = blocks - 1;
    lastLine = log->document()->lastBlock().previous().text().toStdString();
  });
  g_appended = 0;
  CMainDlg* window = dlg;
  dlg->Session().StartWorker([window] { AppendUntilClosing(window); });
  ASSERT_TRUE(CAppHarness::WaitFor([] { return g_appended.load() >= 200; }));
  harness.CloseWindow();  // waits for the worker
  dlg = nullptr;
  EXPECT_EQ(lines, g_appended.load());
  EXPECT_EQ(lastLine, "10:10-c" + std::to_string(g_appended.load() - 1));
  CAppHarness::Pump(0);  // a hand-over still queued finds no control and does nothing
}

}  // namespace
