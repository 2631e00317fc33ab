#include "settings/Profile.h"
