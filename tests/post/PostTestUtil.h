// Shared helpers of the posting tests: driving the send controls of the real main window
// and reading its status log without time stamps.
#pragma once
#include <QAbstractButton>
#include <QJsonArray>
#include <QJsonObject>
#include <sstream>
#include <string>
#include <vector>

#include "app/MainDlg.h"
#include "res/Resource.h"
#include "tests/support/AppHarness.h"

namespace posttest {

inline QAbstractButton* Button(CMainDlg* dlg, int id) {
  return qobject_cast<QAbstractButton*>(dlg->GetDlgItem(id));
}

// A click as the user makes it: the button toggles (check boxes) and its handler runs.
inline void Click(CMainDlg* dlg, int id) { Button(dlg, id)->click(); }

inline bool Ticked(CMainDlg* dlg, int id) { return Button(dlg, id)->isChecked(); }
inline bool Enabled(CMainDlg* dlg, int id) { return Button(dlg, id)->isEnabled(); }

// Status-log lines with their "HH:MM-" stamps removed.
inline std::vector<std::string> LogLines(CMainDlg* dlg) {
  std::vector<std::string> lines;
  std::istringstream in(dlg->GetDlgItemText(IDC_STATUS_LOG));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line.size() >= 6 ? line.substr(6) : line);
  }
  return lines;
}

inline bool LogHas(CMainDlg* dlg, const std::string& text) {
  for (const auto& line : LogLines(dlg))
    if (line == text) return true;
  return false;
}

// Clicks send and waits until the send worker has enabled the button again.
inline bool SendAndWait(CMainDlg* dlg, int ms = 30000) {
  Click(dlg, IDC_SEND);
  return CAppHarness::WaitFor([dlg] { return Enabled(dlg, IDC_SEND); }, ms);
}

inline std::string Str(const QJsonValue& v) { return v.toString().toStdString(); }

// The [name, value] pairs of a recorded form, without OAuth protocol parameters.
inline std::vector<std::pair<std::string, std::string>> FormPairs(const QJsonObject& request) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const QJsonValue& pair : request["form"].toArray()) {
    const std::string name = Str(pair.toArray()[0]);
    if (name.rfind("oauth_", 0) == 0) continue;
    pairs.emplace_back(name, Str(pair.toArray()[1]));
  }
  return pairs;
}

}  // namespace posttest
