// Background polling of the Tencent, Sina and Sohu accounts: reading one counter out of
// a JSON answer, and the interval between two polls.
#pragma once
#include <string>

// The integer after the first "\"key\":" in response, read up to the nearer of the next
// "," and "}" the way atoi reads (leading white space, a sign, digits up to the first
// other character; 0 without digits, so a quoted value reads 0). -1 when the pattern
// is missing, when neither terminator follows, or when the number does not fit in 32
// bits (such a value is no real count and is treated as missing).
int ReadJsonCount(std::string response, std::string key);

// Milliseconds between two polls: defaultMs, or the value of the environment variable
// PLUMFINCH_POLL_INTERVAL_MS when that holds a positive decimal number that fits an int.
int PollIntervalMs(int defaultMs);
