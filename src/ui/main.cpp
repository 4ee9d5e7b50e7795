#include "ui/program.h"

int main(int argc, char** argv) { return tsmerge::startUp(argc, argv); }
