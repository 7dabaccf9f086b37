#pragma once

#include "render/ImportedModel.h"

#include <sys/types.h>

#include <string>

// Imports one model file in a child process, so that nothing in a file can
// end the viewer: Assimp's assertions abort, some files make it allocate
// without bound or loop for minutes. The child is forked from the viewer,
// never touches OpenGL, runs AssimpConverter under an address-space limit,
// writes the ImportedModel to a pipe and exits; the parent reads it back with
// a deadline.
//
// Owns: the child and the two pipes it writes (its result and its console
// output). The destructor kills and reaps a child that was never collected.
// Use:  start(), then finish() once; several may be started before the first
//       is finished, so that independent files import side by side.
class ImportProcess {
public:
    // Address space a child may add to what the viewer already has.
    static constexpr unsigned long long memoryLimitBytes = 4ull << 30;
    // Time a child may take, counted from when finish() starts waiting.
    static constexpr int timeLimitSeconds = 30;
    // Largest result read back; a child sending more is refused.
    static constexpr std::size_t resultLimitBytes = std::size_t(1) << 31;

    ImportProcess() = default;
    ImportProcess(const ImportProcess&) = delete;
    ImportProcess& operator=(const ImportProcess&) = delete;
    ~ImportProcess();

    // Forks the child for `path`. A file that cannot be opened is refused
    // here without a child.
    void start(const std::string& path);
    // Waits for the child. True with `model` filled when it imported the
    // file; otherwise false with `error` saying what happened (Assimp's
    // message, a crash with its signal, the time or memory limit).
    bool finish(ImportedModel& model, std::string& error);

    const std::string& getPath() const { return path; }

private:
    void stop();

    std::string path;
    std::string startError;
    pid_t child = -1;
    int resultFd = -1;
    int outputFd = -1;
};
