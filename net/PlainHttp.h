// One plain (unsigned) HTTP request with the behaviour of the Windows Internet
// functions it replaces; used only for the public-address fetch.
#pragma once
#include <string>

// Strips a leading "http://" (any case), splits host and path ("/" when none), sends
// an HTTP/1.0 request with a browser agent and no-cache headers to host:port through
// the given proxy text (empty: direct) and returns the body only for a 2xx status.
std::string PlainHttpRequest(const std::string& url, const std::string& verb, const char* body,
                             unsigned long bodyLength, const std::string& proxy,
                             const char* extraHeaders, unsigned short port);

// Removes leading and trailing space, tab, CR, LF, VT and FF.
std::string TrimWhiteSpace(const std::string& text);
