#include "settings/ProfileControl.h"
