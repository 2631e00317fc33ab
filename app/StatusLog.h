// The status log's time stamp and its clock (replaceable so a test can stand at midnight).
#pragma once
#include <ctime>
#include <functional>
#include <string>

// "%H:%M-" of the given local time.
std::string StatusLogStamp(std::time_t when);
// The clock the status log reads; {} restores the system clock.
void SetStatusLogClock(std::function<std::time_t()> clock);
std::time_t StatusLogNow();
