// Plumfinch: post to several micro-blog services from one window.
#include <cstdio>
#include <cstring>

#include "app/MainApp.h"

#ifndef PLUMFINCH_VERSION
#error "PLUMFINCH_VERSION (the CMake project version) must be defined for this file"
#endif

namespace {

const char kUsage[] =
    "Usage: plumfinch [-background]\n"
    "       plumfinch --help | --version\n"
    "\n"
    "Posts one status to several micro-blog services from one window, and announces\n"
    "new messages, mentions, posts and followers in small popups. plumfinch(1) lists\n"
    "the services.\n"
    "\n"
    "Options:\n"
    "  -background  start hidden in the notification area (minimised where the desktop\n"
    "               has none); the command line must end in it\n"
    "  --help       print this text and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "Environment:\n"
    "  PLUMFINCH_CONFIG_DIR        the folder of Setting.ini and Services.ini (created\n"
    "                              if missing; used only when it is yours and only you\n"
    "                              may write to it)\n"
    "  PLUMFINCH_POLL_INTERVAL_MS  milliseconds between two polls of every service,\n"
    "                              instead of each service's own interval (30 or 45 s)\n"
    "  PLUMFINCH_DEBUG_LOG=1       one line per network request on stderr, never with\n"
    "                              a token, secret or code\n"
    "  PLUMFINCH_CORE_DUMPS=1      keep the core-file size limit, which is otherwise\n"
    "                              set to 0 (a core file would hold account secrets)\n"
    "  XDG_CONFIG_HOME             settings in $XDG_CONFIG_HOME/Plumfinch and the\n"
    "                              start-at-logon entry in $XDG_CONFIG_HOME/autostart\n"
    "                              (default ~/.config)\n"
    "  HOME                        the home folder, for ~/.config\n"
    "  PLUMFINCH_LANG=zh|en        the language of the window, instead of the locale's\n"
    "                              (zh_*, C and POSIX: Chinese; any other: English)\n"
    "\n"
    "Without PLUMFINCH_CONFIG_DIR the settings live beside the program when its folder\n"
    "is yours and writable (a portable install), else in ~/.config/Plumfinch.\n"
    "\n"
    "See plumfinch(1), and the usage guide in the window's help menu.\n";

const char kVersion[] = "Plumfinch " PLUMFINCH_VERSION "\n";

// Writes text to stdout; the exit status: 0, or 1 when it could not be written.
int Print(const char* text) {
  const bool written = std::fputs(text, stdout) >= 0;
  return std::fflush(stdout) == 0 && written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // --help and --version answer before anything else happens: they need no display,
  // and no settings folder or file is created or read. The first of them decides.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) return Print(kUsage);
    if (std::strcmp(argv[i], "--version") == 0) return Print(kVersion);
  }
  CMainApp app;
  return app.Run(argc, argv);
}
