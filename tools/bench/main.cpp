// velmora-bench: times the viewer's real start-up and frame loop. See
// BenchOptions.h for the command line and Benchmark.h for what is measured.
#include "BenchOptions.h"
#include "Benchmark.h"

#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    BenchOptions options;
    std::string error;
    if (!options.parse(argc, argv, error)) {
        std::cerr << "velmora-bench: " << error << std::endl;
        std::cerr << BenchOptions::usage();
        return 2;
    }
    if (options.help) {
        std::cout << BenchOptions::usage();
        return 0;
    }
    Benchmark benchmark(options);
    return benchmark.run();
}
