#include "velmora/app/program.h"

int main(int argc, char** argv) { app::ProgramEntry(argc, argv); }
