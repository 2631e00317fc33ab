// placeholder: proxy launcher (filled in by the request-library work)
#include "tests/support/Proxies.h"
