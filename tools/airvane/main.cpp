// airvane: command-line host of the Airvane library.

#include "tools/airvane/CommandLine.h"
#include "tools/airvane/Renderer.h"

#include <cstring>
#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    try {
        return airvane::cli::RunCommandLine(argc, argv, std::cin);
    } catch (const std::exception& error) {
        // The commands report their own exceptions; this one came while the command line was
        // read or set up. It fails like any command, as a JSON document with --json.
        airvane::cli::stFailure failure;
        failure.message = std::string("the command stopped: ") + error.what();
        bool json = false;
        for (int i = 1; i < argc; ++i) {
            json = json || std::strcmp(argv[i], "--json") == 0;
        }
        (json ? airvane::cli::MakeJsonRenderer(std::cout, std::cerr)
              : airvane::cli::MakeTextRenderer(std::cout, std::cerr))
            ->Failed(failure);
        return failure.status;
    }
}
