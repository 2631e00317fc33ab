// Posting from the window: the seam that stands in for the picture dialog. What each
// service's posting request holds and how its answer is read are in the service model
// (services/ServiceFlows.h); the send button, targets and picture field are in
// SendCommand.cpp.
#pragma once
#include <functional>
#include <string>

#include "services/ServiceFlows.h"

// While set, ChoosePictureFile calls this instead of showing the file dialog (tests).
// It returns the chosen path, or "" for a cancelled choice. Pass {} to remove it.
void SetPictureChooserHook(std::function<std::string()> hook);
