// The public-address fetch: one plain GET of the IP-echo page at start-up. The
// program's proxy settings are not used for it.
#include "app/MainDlg.h"
#include "net/PlainHttp.h"

void FetchPublicIpInto(CSession& session) {
  const std::string address = FetchPublicIp(session.ClosingFlag());
  if (!address.empty()) session.SetClientIp(address);
}
