// Posted and sent calls onto the user-interface thread.
#include "platform/UiThread.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

bool IsUiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

void PostToUiThread(std::function<void()> fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
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
