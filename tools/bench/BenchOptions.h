#pragma once

#include <string>

// The command line of velmora-bench, parsed and checked.
//
//   --frames N              frames timed as the viewer runs them (default 200)
//   --warmup N              frames drawn before measuring (default 20)
//   --dt SECONDS            fixed frame time (default 1/64 s)
//   --dir FOLDER            run from FOLDER, laid out like the repository
//                           (shader/, assets/); default the current folder
//   --postprocessing on|off the glass composite (default on)
//   --png FILE              write the last frame there
//   --start SECONDS         path time of the first measured frame (default 0)
//   --scale N               N copies of the scene's models and lights (default 1)
//   --sync-passes on|off    as many frames again, between them, with a glFinish
//                           around every pass (default on)
//   --model FILE            the model file alone, framed as velmora-view frames it
//   --help                  list the options
class BenchOptions {
public:
    int frames = 200;
    int warmup = 20;
    // 1/64 s: a binary fraction, so every frame's clock reading is exact
    // in the float arithmetic of the frame loop.
    double dt = 0.015625;
    std::string dir;
    bool postProcessing = true;
    std::string png;
    std::string model;
    double start = 0.0;
    int scale = 1;
    // With glFinish around every pass the CPU times are the passes' wall
    // times with their GPU work; the one way to split a frame on drivers
    // that defer rendering (llvmpipe).
    bool syncPasses = true;
    bool help = false;

    // Parses argv[1..argc-1]. On a bad command line returns false and puts
    // a one-line reason into `error`.
    bool parse(int argc, const char* const* argv, std::string& error);

    static std::string usage();
};
