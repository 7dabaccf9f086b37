#include "ViewOptions.h"

#include <cmath>
#include <cstdlib>

namespace {

// "x,y,z": three finite numbers, nothing else.
bool parseVector(const std::string& text, glm::vec3& result)
{
    const char* at = text.c_str();
    for (int i = 0; i < 3; ++i) {
        char* end = nullptr;
        const float value = std::strtof(at, &end);
        if (end == at || !std::isfinite(value) || *end != (i < 2 ? ',' : '\0'))
            return false;
        result[i] = value;
        at = end + 1;
    }
    return true;
}

} // namespace

const char* ViewOptions::usage()
{
    return "usage: velmora-view FILE... [--png OUT] [--rotation X,Y,Z]";
}

bool ViewOptions::parse(int argc, const char* const* argv, ViewOptions& options, std::string& error)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnded || argument.empty() || argument[0] != '-') {
            options.files.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--png" || argument == "--rotation") {
            if (i + 1 >= argc) {
                error = argument + " needs a value";
                return false;
            }
            const std::string value = argv[++i];
            if (argument == "--png") {
                options.png = value;
            } else if (!parseVector(value, options.rotation)) {
                error = "--rotation takes three numbers joined by commas, such as 90,0,0, not '" + value + "'";
                return false;
            }
        } else {
            error = "unknown option " + argument;
            return false;
        }
    }
    if (options.files.empty() && !options.help) {
        error = "no model file given";
        return false;
    }
    if (!options.png.empty() && options.png.back() == '/') {
        error = "--png needs a file name, not the folder " + options.png;
        return false;
    }
    return true;
}
