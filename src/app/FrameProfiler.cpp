#include "app/FrameProfiler.h"

FrameProfiler::FrameProfiler() {}
void FrameProfiler::begin(Pass) {}
void FrameProfiler::end(Pass) {}
void FrameProfiler::endFrame() {}
const char* FrameProfiler::passName(Pass) { return ""; }
void FrameProfiler::clear() {}
