// The aaxhost command.
#include <iostream>

#include "Cli.h"

int main(int argc, char** argv) { return aaxhost::RunCommand(argc, argv, std::cout, std::cerr); }
