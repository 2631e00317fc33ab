// Check boxes <-> settings flags.
#include "app/ProfileControl.h"

#include <QWidget>

#include "platform/Dialog.h"
#include "res/Resource.h"
#include "settings/Profile.h"

void ProfileControl(CDialog* window, bool write, int id, const char* key, const char* def) {
  if (!window) return;
  QWidget* control = window->GetDlgItem(id);
  if (!control) return;
  if (control->property("winClass").toString() != QLatin1String("Button")) return;
  const uint32_t style = control->property("winStyle").toUInt();
  if (!((style & 0x2) || (style & 0x9))) return;
  if (write) {
    ProfileString(true, key, window->IsDlgButtonChecked(id) != BST_UNCHECKED ? "1" : "0", "");
  } else {
    const bool set = ProfileString(false, key, "", def, 256) == "1";
    window->CheckDlgButton(id, set ? BST_CHECKED : BST_UNCHECKED);
  }
}

void ProfileCheckBoxes(CDialog* window, bool write) {
  static const struct {
    int id;
    const char* key;
    const char* def;
  } kRows[] = {
      {IDC_ALERT_AT_ME, "AlertAtMe", "1"},      {IDC_FOLLOWING_UPDATE, "FollowingUpdate", "0"},
      {IDC_NEW_FANS, "NewFans", "1"},           {IDC_AUTO_RUN, "AutoRun", "0"},
      {IDC_SEND_TO_TENCENT, "SendToQQMB", "0"}, {IDC_SEND_TO_SINA, "SendToSinaMB", "0"},
      {IDC_SEND_TO_SOHU, "SendToSohuMB", "0"},  {IDC_SEND_TO_TWITTER, "SendToTwitter", "0"},
  };
  for (const auto& row : kRows) ProfileControl(window, write, row.id, row.key, row.def);
}
