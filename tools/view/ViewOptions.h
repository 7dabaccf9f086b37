#pragma once

#include <glm/glm.hpp>

#include <string>
#include <vector>

// The command line of velmora-view:
//   velmora-view FILE... [--png OUT] [--rotation X,Y,Z]
// Options may come before, between or after the files; "--" ends them.
struct ViewOptions {
    std::vector<std::string> files;   // model files, as given
    std::string png;                  // empty: interactive
    glm::vec3 rotation{0.0f};         // degrees about x, then y, then z
    bool help = false;

    // False with `error` set (one line) when the arguments make no run.
    static bool parse(int argc, const char* const* argv, ViewOptions& options, std::string& error);
    static const char* usage();
};
