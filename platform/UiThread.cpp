// Posted and sent calls onto the user-interface thread.
#include "platform/UiThread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

bool IsUiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

namespace {
// Work for the user-interface thread waits in a queue of our own under a standard mutex,
// and an eventfd watched by the event loop says that there is some. No toolkit object
// is made on the posting thread, so the whole hand-over goes through locks every tool
// can see (ThreadSanitizer cannot see the futexes inside the toolkit's own queue).
std::mutex g_queueMutex;
std::deque<std::function<void()>> g_queue;
int g_wakeFd = -1;                  // written by any thread, read on the UI thread
QSocketNotifier* g_wake = nullptr;  // UI thread only

void RunQueued() {
  if (g_wakeFd >= 0) {
    uint64_t count = 0;
    [[maybe_unused]] ssize_t n = read(g_wakeFd, &count, sizeof count);
  }
  // One item at a time: an item may run a nested event loop (a message box) that takes
  // the following items itself, in order.
  for (;;) {
    std::function<void()> fn;
    {
      std::lock_guard<std::mutex> lock(g_queueMutex);
      if (g_queue.empty()) return;
      fn = std::move(g_queue.front());
      g_queue.pop_front();
    }
    fn();
  }
}
}  // namespace

void InitUiThreadQueue() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || !IsUiThread() || g_wake) return;
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return;
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    g_wakeFd = fd;
  }
  g_wake = new QSocketNotifier(fd, QSocketNotifier::Read, app);
  QObject::connect(g_wake, &QSocketNotifier::activated, app, [] { RunQueued(); });
}

void PostToUiThread(std::function<void()> fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  InitUiThreadQueue();  // does something only on the UI thread, the first time
  int wakeFd;
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    g_queue.push_back(std::move(fn));
    wakeFd = g_wakeFd;
  }
  if (wakeFd >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(wakeFd, &one, sizeof one);
  } else {
    // Posted before the user-interface thread set the queue up: the toolkit's queue
    // carries the call instead.
    QMetaObject::invokeMethod(app, &RunQueued, Qt::QueuedConnection);
  }
}

bool SendToUiThread(std::function<void()> fn, const std::atomic<bool>* abandon) {
  if (IsUiThread()) {
    fn();
    return true;
  }
  struct SState {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
  };
  auto state = std::make_shared<SState>();
  PostToUiThread([state, fn = std::move(fn)] {
    fn();
    std::lock_guard<std::mutex> lock(state->m);
    state->done = true;
    state->cv.notify_all();
  });
  std::unique_lock<std::mutex> lock(state->m);
  while (!state->done) {
    if (abandon && abandon->load()) return false;
    state->cv.wait_for(lock, std::chrono::milliseconds(50));
  }
  return true;
}
