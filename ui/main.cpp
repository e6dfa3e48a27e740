// korvane: the window program.
#include "KorvaneProgram.h"

int main(int argc, char** argv) { return RunKorvane(argc, argv); }
