// One plain (unsigned) HTTP request with the behaviour of the Windows Internet
// functions it replaces; used only for the public-address fetch.
#pragma once
#include <atomic>
#include <string>

// Strips a leading "http://" (any case), splits host and path ("/" when none), sends
// an HTTP/1.0 request with a browser agent and no-cache headers to host:port through
// the given proxy text (empty: direct) and returns the body only for a 2xx status.
// A ":port" written in the URL is dropped; the port argument decides (0 means 80).
// Empty proxy text means a direct connection: proxy variables of the environment are
// ignored. Redirects are followed (at most 5); answers over 64 KB, 15 s to connect or
// 30 s in all give "". The body ends at its first zero byte. libcurl must have been
// initialised (QWBlogGlobalInit) before the first call. The request gives up ("") soon
// after *abort becomes true.
std::string PlainHttpRequest(const std::string& url, const std::string& verb, const char* body,
                             unsigned long bodyLength, const std::string& proxy,
                             const char* extraHeaders, unsigned short port,
                             const std::atomic<bool>* abort = nullptr);

// Removes leading and trailing space, tab, CR, LF, VT and FF.
std::string TrimWhiteSpace(const std::string& text);

// The public address as the IP-echo page of the service configuration reports it:
// GET, direct, trimmed. "" when the fetch failed or the answer was only white space.
std::string FetchPublicIp(const std::atomic<bool>* abort = nullptr);
