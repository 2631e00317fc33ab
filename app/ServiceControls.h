// The main window's controls of each service: its bind button, the label that shows the
// bound account, its send box and its quick-access command, in the services' order.
// Mastodon has no quick-access command: each account lives on a server of its own.
#pragma once
#include "net/Credentials.h"
#include "net/ServiceHosts.h"
#include "res/Resource.h"

struct SServiceControls {
  EService service;
  int bindButton;
  int nameLabel;
  int sendBox;
  int openWebCommand;  // 0: the service has no quick-access command
  EHost web;           // the site the quick-access command opens
};

// clang-format off
constexpr SServiceControls kServiceControls[] = {
    {EService::Tencent, IDC_BIND_TENCENT, IDC_TENCENT_NAME, IDC_SEND_TO_TENCENT, ID_OPEN_TENCENT_WEB, EHost::TencentWeb},
    {EService::Sina, IDC_BIND_SINA, IDC_SINA_NAME, IDC_SEND_TO_SINA, ID_OPEN_SINA_WEB, EHost::SinaWeb},
    {EService::Sohu, IDC_BIND_SOHU, IDC_SOHU_NAME, IDC_SEND_TO_SOHU, ID_OPEN_SOHU_WEB, EHost::SohuWeb},
    {EService::Twitter, IDC_BIND_TWITTER, IDC_TWITTER_NAME, IDC_SEND_TO_TWITTER, ID_OPEN_TWITTER_WEB, EHost::TwitterWeb},
    {EService::Mastodon, IDC_BIND_MASTODON, IDC_MASTODON_NAME, IDC_SEND_TO_MASTODON, 0, EHost::Mastodon},
};
// clang-format on

inline const SServiceControls& ControlsOf(EService service) {
  for (const SServiceControls& c : kServiceControls)
    if (c.service == service) return c;
  return kServiceControls[0];
}
