#include "run/run.h"

int RunVuxReader(int, char**) { return 0; }
