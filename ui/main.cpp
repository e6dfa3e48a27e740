// korvane: the window program.
#include "ProgramStart.h"

int main(int argc, char** argv) { return RunKorvane(argc, argv); }
