// The aaxhost command.
#include <exception>
#include <iostream>

#include "Cli.h"

int main(int argc, char** argv) {
    try {
        return aaxhost::RunCommand(argc, argv, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "aaxhost: " << e.what() << "\n";
        return aaxhost::kExitUsage;
    }
}
