// The public-address fetch: one plain GET of the IP-echo page at start-up.
#include "app/MainDlg.h"
#include "net/PlainHttp.h"
#include "net/ServiceHosts.h"

unsigned PublicIpThreadProc(CMainDlg* dlg) {
  // The program's proxy settings are not used here: the system's own connection is.
  const std::string answer = TrimWhiteSpace(
      PlainHttpRequest(ServiceConfig().ipEchoUrl, "", nullptr, 0, "", nullptr, IpEchoPort()));
  if (!answer.empty()) dlg->WriteClientIp(answer);
  return 0;
}
