// CMainApp: the application object. It prepares networking, runs the main window as a
// modal dialog and ends the program when that dialog ends. SIGTERM and SIGINT act as
// the exit command.
#pragma once
#include <string>

class CMainApp {
 public:
  // Runs the whole program; the process exit code.
  int Run(int argc, char** argv);
  // The command line as one string: program path and arguments joined by blanks.
  static std::string JoinCommandLine(int argc, char** argv);
};
