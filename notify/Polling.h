// Background polling from the window: one worker per polled service runs the service
// model's poll cycle (services/ServiceFlows.h) at the row's interval until the window
// closes. Reading the counters out of an answer is in services/Readers.h.
#pragma once
#include "services/Readers.h"
#include "services/ServiceFlows.h"
