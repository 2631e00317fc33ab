// Message boxes and opening addresses in the browser: the program's only two ways of
// showing something outside its windows. Both can be intercepted by tests.
#pragma once
#include <atomic>
#include <functional>
#include <string>

// The standard message box: text, an OK button, the exclamation icon, the application
// name as caption, modal to the active window. Callable from any thread: off the
// user-interface thread it runs there and the caller waits until it is dismissed
// (or until *abandon becomes true).
void AfxMessageBox(const std::string& text, const std::atomic<bool>* abandon = nullptr);

// The program is ending (a termination signal arrived): from then on AfxMessageBox shows
// nothing, so no step on the way out waits for an answer. Safe to call from a signal
// handler; it cannot be undone.
void BeginProgramEnd();
bool IsProgramEnding();

// Tests answer message boxes in advance: while a hook is set, AfxMessageBox calls it
// (on the user-interface thread) instead of showing a box. Pass {} to remove it.
void SetMessageBoxHook(std::function<void(const std::string&)> hook);

// Opens an address with the desktop's default handler (the browser). False when none could
// be started (on the user-interface thread; from another thread the call is queued there
// and true). Tests intercept it with QDesktopServices::setUrlHandler.
bool ShellOpenUrl(const std::string& url);
