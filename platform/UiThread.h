// Running work on the user-interface thread from any thread: posted (queued, no wait)
// and sent (the caller waits) calls, the stand-in for posted and sent window messages.
#pragma once
#include <atomic>
#include <functional>

// True on the thread that runs the application's event loop.
bool IsUiThread();

// Sets up the queue of posted work; call once on the user-interface thread before
// workers start (windows do it when they are built). Later calls do nothing.
void InitUiThreadQueue();

// Queues fn to run on the user-interface thread and returns at once.
void PostToUiThread(std::function<void()> fn);

// Runs fn on the user-interface thread and waits for it (directly when already there).
// The wait is given up when *abandon becomes true, so a worker never blocks a closing
// window; fn then may run later or never. Returns true when fn ran to its end.
bool SendToUiThread(std::function<void()> fn, const std::atomic<bool>* abandon = nullptr);
