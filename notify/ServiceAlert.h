// The main window's alerts: a hook through which tests see every WM_SERVICE_ALERT the
// window handles. What a kind says and where it leads is in the service model
// (DescribeServiceAlert in services/ServiceFlows.h).
#pragma once
#include <functional>

#include "services/ServiceFlows.h"

// Called on the user-interface thread with every alert message before it is shown
// (tests only). Pass {} to remove.
void SetServiceAlertHook(std::function<void(int kind, long long count)> hook);
