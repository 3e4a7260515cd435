// The aaxhost command.
#include <exception>
#include <iostream>
#include <new>

#include "Cli.h"

int main(int argc, char** argv) {
    try {
        return aaxhost::RunCommand(argc, argv, std::cout, std::cerr);
    } catch (const std::bad_alloc&) {
        std::cerr << "aaxhost: out of memory\n";
        return aaxhost::kExitFailed;
    } catch (const std::exception& e) {
        std::cerr << "aaxhost: " << e.what() << "\n";
        return aaxhost::kExitFailed;
    }
}
