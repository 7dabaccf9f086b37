#include "BenchOptions.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

bool readInt(const std::string& text, int lowest, int highest, int& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || number < lowest || number > highest)
        return false;
    value = static_cast<int>(number);
    return true;
}

bool readSeconds(const std::string& text, double& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double number = std::strtod(text.c_str(), &end);
    if (*end != '\0' || errno == ERANGE || !std::isfinite(number))
        return false;
    value = number;
    return true;
}

} // namespace

bool BenchOptions::parse(int argc, const char* const* argv, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            help = true;
            continue;
        }
        const bool known = option == "--frames" || option == "--warmup" || option == "--dt" || option == "--dir" ||
                           option == "--postprocessing" || option == "--png" || option == "--start" ||
                           option == "--scale" || option == "--sync-passes" || option == "--model";
        if (!known) {
            error = "unknown option " + option;
            return false;
        }
        if (i + 1 >= argc) {
            error = option + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        bool ok = true;
        if (option == "--frames") {
            ok = readInt(value, 1, 1000000, frames);
        } else if (option == "--warmup") {
            ok = readInt(value, 0, 1000000, warmup);
        } else if (option == "--scale") {
            // The lit shaders take 16 point and 8 spot lights; beyond 64
            // copies only the CPU side would still grow.
            ok = readInt(value, 1, 64, scale);
        } else if (option == "--dt") {
            ok = readSeconds(value, dt) && dt > 0.0 && dt <= 10.0;
        } else if (option == "--start") {
            ok = readSeconds(value, start) && start >= 0.0 && start <= 1.0e6;
        } else if (option == "--postprocessing" || option == "--sync-passes") {
            ok = value == "on" || value == "off";
            (option == "--postprocessing" ? postProcessing : syncPasses) = value == "on";
        } else if (option == "--dir") {
            ok = !value.empty();
            dir = value;
        } else if (option == "--model") {
            ok = !value.empty();
            model = value;
        } else if (option == "--png") {
            ok = !value.empty();
            png = value;
        }
        if (!ok) {
            error = "bad value for " + option + ": '" + value + "'";
            return false;
        }
    }
    return true;
}

std::string BenchOptions::usage()
{
    return "usage: velmora-bench [options]\n"
           "Runs the viewer's start-up and frame loop in the 1920x1080 full-screen window\n"
           "with a fixed frame time and prints per-pass GPU and CPU times and frame times.\n"
           "  --frames N               frames timed as the viewer runs them (default 200)\n"
           "  --warmup N               frames drawn before measuring (default 20)\n"
           "  --dt SECONDS             fixed frame time (default 0.015625, 1/64 s)\n"
           "  --dir FOLDER             run from FOLDER, laid out like the repository\n"
           "                           (shader/, assets/); default the current folder\n"
           "  --postprocessing on|off  glass composite on or off (default on)\n"
           "  --png FILE               write the last frame to FILE as PNG\n"
           "  --start SECONDS          path time of the first measured frame (default 0);\n"
           "                           the warm-up frames lead up to it\n"
           "  --scale N                N copies of the scene's models and lights on a grid\n"
           "                           (1 to 64, default 1)\n"
           "  --sync-passes on|off     also draw as many frames between those, each pass\n"
           "                           bracketed by glFinish, for per-pass wall times that\n"
           "                           include the GPU work (default on)\n"
           "  --model FILE             show the model file alone instead of the scene, placed\n"
           "                           and framed as velmora-view shows it\n"
           "  --help                   this list\n";
}
