// The debug log: one line per network request on stderr (the journal, for a session
// started by the desktop), for a user who wants to see why a request failed. Off unless
// PLUMFINCH_DEBUG_LOG=1 is in the environment when the first request starts.
//
//   plumfinch: POST http://api.example.org/statuses/update.json -> HTTP 200, 312 bytes
//   in, 41 bytes out, 86 ms
//
// A line never holds a credential: the address is cut to scheme, host, port and path (no
// user information, query or fragment), and no header or body is written.
#pragma once
#include <string>

#include "qwblog/QWBlogAPI.h"

// Whether the log is on (read from the environment once).
bool DebugLogEnabled();

// Turns the request library's trace into log lines when the log is on; once, from any
// thread, before the first request (later calls do nothing).
void InstallDebugLog();

// The line for one request (without the trailing newline), and writing it.
std::string DebugLogLine(const QWBlogTrace& trace);
void DebugLogRequest(const QWBlogTrace& trace);

// Writes "plumfinch: " and the line to stderr when the log is on: for what the program
// wants a user to be able to see besides the requests (a translation it could not load).
void DebugLogNote(const std::string& line);

// url without user information, query and fragment: scheme://host[:port]/path.
std::string UrlForLog(const std::string& url);
