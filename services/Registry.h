// The registry: every service's row, in the fixed order in which the program posts to
// and polls them and lays out their controls.
#pragma once
#include <string>
#include <vector>

#include "services/ServiceRow.h"

// The services, in order. The first call also declares their hosts to the configuration.
const std::vector<const SServiceRow*>& ServiceRows();
// The row whose settings key prefix is keyPrefix, or null.
const SServiceRow* FindServiceRow(const std::string& keyPrefix);
// The alert kind with this number among all rows, or null; *owner gets its row.
const SAlertKind* FindAlertKind(int kind, const SServiceRow** owner = nullptr);
