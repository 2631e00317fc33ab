// The public-address fetch: one plain GET of the IP-echo page at start-up. The
// program's proxy settings are not used for it.
#include "app/MainDlg.h"
#include "net/PlainHttp.h"

unsigned PublicIpThreadProc(CMainDlg* dlg) {
  const std::string address = FetchPublicIp(dlg->ClosingFlag());
  if (!address.empty()) dlg->WriteClientIp(address);
  return 0;
}
