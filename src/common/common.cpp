#include "common/common.h"

int ErrorFlags = 0;
int page_mode = 0;
