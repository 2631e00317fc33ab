// Start-up of the main window (construction, the settings restore, the workers, the tray
// icon, showing) against a minimal Qt dialog with one button, measured alternately in one
// process so both see the same machine. Run: QT_QPA_PLATFORM=offscreen startup_bench [n]
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/MainDlg.h"
#include "net/ServiceHosts.h"
#include "qwblog/QWBlogAPI.h"

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Until the window is shown and its first paint has been processed.
void ShowAndSettle(QWidget* w) {
  w->show();
  QCoreApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  // A private settings folder with every host on a closed loopback port.
  const auto folder = std::filesystem::temp_directory_path() / "plumfinch-bench-startup";
  std::filesystem::create_directories(folder);
  setenv("PLUMFINCH_CONFIG_DIR", folder.c_str(), 1);
  std::ofstream(folder / "Services.ini") << "[Hosts]\nIpEchoUrl=http://127.0.0.1:9/getip.asp\n";

  Q_INIT_RESOURCE(res);
  QApplication app(argc, argv);
  QWBlogGlobalInit();
  ReloadServiceConfig();

  std::vector<double> mainWindow, plainDialog;
  for (int i = 0; i < rounds + 3; ++i) {
    QElapsedTimer t;
    t.start();
    auto* dlg = new CMainDlg;
    dlg->Create(nullptr);
    ShowAndSettle(dlg);
    const double a = t.nsecsElapsed() / 1e6;
    delete dlg;

    t.restart();
    auto* plain = new QDialog;
    new QPushButton(QStringLiteral("OK"), plain);
    ShowAndSettle(plain);
    const double b = t.nsecsElapsed() / 1e6;
    delete plain;
    if (i >= 3) {  // the first rounds warm caches and fonts
      mainWindow.push_back(a);
      plainDialog.push_back(b);
    }
  }
  const double m = Median(mainWindow), p = Median(plainDialog);
  std::printf(
      "rounds %d\nmain window shown: median %.2f ms\nminimal dialog shown: median %.2f ms\n"
      "ratio %.1f\n",
      rounds, m, p, m / p);
  return 0;
}
