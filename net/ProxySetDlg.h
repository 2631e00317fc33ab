// CProxySetDlg: the modal proxy settings dialog. It edits the main window's four proxy
// fields (where the proxy applies, its protocol, its IPv4 address and port) and stores
// them in the settings file when the user confirms.
#pragma once
#include <cstdint>
#include <string>

#include "platform/Dialog.h"

class CMainDlg;

class CProxySetDlg : public CDialog {
  Q_OBJECT
 public:
  // The dialog edits main's proxy fields and is modal over main.
  explicit CProxySetDlg(CMainDlg* main);

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  CMainDlg* m_pMain;
};

// The address typed by the user, parsed by the inet_addr rules (dotted decimal, octal or
// hex parts, and the short forms such as "127.1"), first octet most significant. Anything
// that is not an address, the empty text included, gives the parser's failure value
// 0xFFFFFFFF.
uint32_t ParseProxyAddress(const std::string& text);
// Dotted form of an address held with its first octet most significant ("192.168.1.1").
std::string FormatProxyAddress(uint32_t address);
// A signed decimal number the way atoi reads one: leading blanks, an optional sign, then
// digits up to the first other character; no digits gives 0. Unlike atoi a number beyond
// the 32-bit range is clamped to INT_MIN or INT_MAX instead of being undefined.
int ParseSignedNumber(const std::string& text);
