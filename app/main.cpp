// Plumfinch: post to several micro-blog services from one window.
#include "app/MainApp.h"

int main(int argc, char** argv) {
  CMainApp app;
  return app.Run(argc, argv);
}
