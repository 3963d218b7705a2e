// airvane: command-line host of the Airvane library.

#include "tools/airvane/CommandLine.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    try {
        return airvane::cli::RunCommandLine(argc, argv, std::cin);
    } catch (const std::exception& error) {
        std::cerr << "error: " << error.what() << "\n";
        return 1;
    }
}
