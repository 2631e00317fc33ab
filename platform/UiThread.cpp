// Posted and sent calls onto the user-interface thread.
#include "platform/UiThread.h"

#include <QCoreApplication>
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
// Work waits in a queue of our own, guarded by a standard mutex; the toolkit's event
// queue carries only a bare call to take the next item. The hand-over thus goes through
// a lock every tool can see (ThreadSanitizer cannot see inside the toolkit's).
std::mutex g_queueMutex;
std::deque<std::function<void()>> g_queue;

void RunNextQueued() {
  std::function<void()> fn;
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    if (g_queue.empty()) return;
    fn = std::move(g_queue.front());
    g_queue.pop_front();
  }
  fn();
}
}  // namespace

void PostToUiThread(std::function<void()> fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    g_queue.push_back(std::move(fn));
  }
  QMetaObject::invokeMethod(app, &RunNextQueued, Qt::QueuedConnection);
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
