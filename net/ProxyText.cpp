// The proxy dialog's texts: the address and port as the user types them, and the
// address as the dialog shows it.
#include "net/ProxyText.h"

#include <arpa/inet.h>

#include <climits>

#include "qwblog/OAuth.h"

uint32_t ParseProxyAddress(const std::string& text) {
  // inet_addr gives the address in network byte order; INADDR_NONE (all ones) on failure
  // is the same in either order and is kept as it is.
  return ntohl(inet_addr(text.c_str()));
}

std::string FormatProxyAddress(uint32_t address) { return qwblog::DottedAddress(address); }

int ParseSignedNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulate in 64 bits and stop growing once past the 32-bit range.
  long long value = 0;
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > limit) value = limit;
  }
  return static_cast<int>(negative ? -value : value);
}
