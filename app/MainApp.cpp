// CMainApp: start-up and the end of the program.
#include "app/MainApp.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <memory>

#include "app/MainDlg.h"
#include "platform/Shell.h"
#include "platform/Translation.h"
#include "qwblog/QWBlogAPI.h"
#include "res/Resource.h"
#include "res/Templates.h"
#include "settings/Startup.h"

namespace {
int g_signalPipe[2] = {-1, -1};

void OnTerminateSignal(int) {
  // Only async-signal-safe work here: flag stores and a write the event loop picks up.
  // The flags come first: a binding runs its requests on the user-interface thread, which
  // sees the byte only once the request in progress has ended; aborted, it ends at once.
  QWBlogAbortAllRequests();
  BeginProgramEnd();
  const char byte = 1;
  [[maybe_unused]] ssize_t n = write(g_signalPipe[1], &byte, 1);
}

sigset_t TerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}
}  // namespace

std::string CMainApp::JoinCommandLine(int argc, char** argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    if (i) line += ' ';
    line += argv[i] ? argv[i] : "";
  }
  return line;
}

int CMainApp::Run(int argc, char** argv) {
  // SIGTERM and SIGINT wait until the program can end cleanly on them. Blocked here, before
  // any thread exists, they stay blocked in every thread the toolkit starts, so they are
  // delivered only where they are unblocked below, once their handler and its listener
  // are in place.
  const sigset_t terminationSignals = TerminationSignals();
  pthread_sigmask(SIG_BLOCK, &terminationSignals, nullptr);

  // Before anything holds a secret in memory or touches the settings file.
  DisableCoreDumps();
  PrepareSettingsAtStart();
  Q_INIT_RESOURCE(res);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(LoadResourceString(IDS_APP_NAME)));
  QApplication::setQuitOnLastWindowClosed(false);
  // Before the first window: every text is shown in the language chosen here.
  InstallTranslation(LanguageFromEnvironment());
  CMainDlg::SetCommandLine(JoinCommandLine(argc, argv));

  // Termination signals reach the event loop through a pipe (the only safe way out of a
  // signal handler); without the pipe the program still runs, it just cannot be asked
  // to end by a signal.
  const bool signalsReady = pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0;

  CMainDlg dlg;
  std::unique_ptr<QSocketNotifier> notifier;
  if (signalsReady) {
    notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &dlg, [&dlg] {
      char buffer[16];
      while (read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
      }
      dlg.PostMessage(WM_COMMAND, ID_APP_EXIT, 0);
    });
    struct sigaction action {};
    action.sa_handler = OnTerminateSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
  }
  pthread_sigmask(SIG_UNBLOCK, &terminationSignals, nullptr);

  // The window prepares networking just after it is shown and ends at once without it.
  return dlg.DoModal() == CMainDlg::kNoNetworking ? 1 : 0;
}
