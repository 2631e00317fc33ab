// The proxy dialog's texts, without the dialog: parsing what the user types and
// formatting the stored address.
#pragma once
#include <cstdint>
#include <string>

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
