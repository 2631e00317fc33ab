#include "net/TextOps.h"
