// Saving and restoring the check state of a window's two-state buttons in the settings.
#pragma once
#include <string>

#include "net/UserText.h"

class CDialog;

// Restores (write false) or saves (write true) the check state of button id of window
// under key as "1" or "0". Only controls of class "Button" whose style marks a
// two-state button take part; anything else is left alone.
void ProfileControl(CDialog* window, bool write, int id, const char* key, const char* def);
// The main window's check boxes (its own and each service's send box), in their fixed
// order. A write that fails returns false with the reason in why; the file stays as it
// was.
bool ProfileCheckBoxes(CDialog* window, bool write, SUserText* why = nullptr);
