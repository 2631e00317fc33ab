// Lines for the status log from the layers below the window (settings file, service
// configuration), which may speak before the window exists and from any thread.
#pragma once
#include <functional>
#include <string>

// Queues line for the status log. Each distinct line is delivered once per process, so a
// problem met on every read of a file is reported once, not on every read.
void ReportSettingsNotice(const std::string& line);

// Where lines go from now on; lines reported before a sink was set are delivered to it at
// once, in order. An empty sink queues again. The sink runs on the reporting thread,
// outside any lock of this module.
void SetSettingsNoticeSink(std::function<void(const std::string&)> sink);

// Forgets which lines were delivered and drops queued ones (for tests).
void ResetSettingsNotices();
