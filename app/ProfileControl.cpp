// Check boxes <-> settings flags.
#include "app/ProfileControl.h"

#include <QWidget>
#include <string>
#include <utility>
#include <vector>

#include "platform/Dialog.h"
#include "res/Resource.h"
#include "services/Registry.h"
#include "settings/Profile.h"

namespace {

// Only controls of class "Button" whose style marks a two-state button take part.
bool IsTwoStateButton(QWidget* control) {
  if (!control) return false;
  if (control->property("winClass").toString() != QLatin1String("Button")) return false;
  const uint32_t style = control->property("winStyle").toUInt();
  return (style & 0x2) || (style & 0x9);
}

}  // namespace

void ProfileControl(CDialog* window, bool write, int id, const char* key, const char* def) {
  if (!window) return;
  QWidget* control = window->GetDlgItem(id);
  if (!IsTwoStateButton(control)) return;
  if (write) {
    ProfileString(true, key, window->IsDlgButtonChecked(id) != BST_UNCHECKED ? "1" : "0", "");
  } else {
    const bool set = ProfileString(false, key, "", def, 256) == "1";
    window->CheckDlgButton(id, set ? BST_CHECKED : BST_UNCHECKED);
  }
}

bool ProfileCheckBoxes(CDialog* window, bool write, SUserText* why) {
  struct SBox {
    int id;
    const char* key;
    const char* def;
  };
  // The window's own boxes, then each service's send box.
  static const std::vector<SBox> kRows = [] {
    std::vector<SBox> rows = {{IDC_ALERT_AT_ME, "AlertAtMe", "1"},
                              {IDC_FOLLOWING_UPDATE, "FollowingUpdate", "0"},
                              {IDC_NEW_FANS, "NewFans", "1"},
                              {IDC_AUTO_RUN, "AutoRun", "0"}};
    for (const SServiceRow* row : ServiceRows())
      rows.push_back({row->window.sendBox.id, row->window.sendKey, "0"});
    return rows;
  }();
  if (!write) {
    for (const auto& row : kRows) ProfileControl(window, false, row.id, row.key, row.def);
    return true;
  }
  // Saved together, with one replace of the file: a crash while saving never leaves some
  // boxes new and others old.
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const auto& row : kRows) {
    if (!window) break;
    QWidget* control = window->GetDlgItem(row.id);
    if (!IsTwoStateButton(control)) continue;
    pairs.emplace_back(row.key, window->IsDlgButtonChecked(row.id) != BST_UNCHECKED ? "1" : "0");
  }
  return pairs.empty() || ProfileWriteStrings(pairs, why);
}
