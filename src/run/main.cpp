#include "run/run.h"

int main(int argc, char** argv) { return vux::RunVuxReader(argc, argv); }
