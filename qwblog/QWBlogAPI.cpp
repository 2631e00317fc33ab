// placeholder, replaced by the library implementation
#include "qwblog/QWBlogAPI.h"
