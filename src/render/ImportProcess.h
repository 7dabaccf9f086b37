#pragma once

#include "render/ImportedModel.h"

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

// Imports model files in a child process, so that nothing in a file can end
// the viewer: Assimp's assertions abort, some files make it allocate without
// bound or loop for minutes. The child is forked from the viewer, never
// touches OpenGL, imports the files one after the other with AssimpConverter
// under an address-space limit and writes each ImportedModel to a pipe; the
// viewer reads them back in order, with a deadline for each. One child for
// many files keeps the cost of forking a large process to once per scene.
//
// Owns: the child and the two pipes it writes (its results and its console
// output). The destructor kills and reaps a child still running.
// Use:  start() with the files, then next() once per file, in order. After
//       a child has crashed or been stopped, running() is false and the
//       files after the one it failed on need a new start().
class ImportProcess {
public:
    // Address space a child may add to what the viewer had when it forked.
    static constexpr unsigned long long memoryLimitBytes = 4ull << 30;
    // Time one file may take, counted from when next() starts waiting.
    static constexpr int timeLimitSeconds = 30;
    // Largest result read back for one file; a child sending more is stopped.
    static constexpr std::size_t resultLimitBytes = std::size_t(1) << 31;

    ImportProcess() = default;
    ImportProcess(const ImportProcess&) = delete;
    ImportProcess& operator=(const ImportProcess&) = delete;
    ~ImportProcess();

    // Forks the child for `paths`. A file that cannot be opened is refused
    // by the child without Assimp.
    void start(std::vector<std::string> paths);
    // The next file's result. True with `model` filled when it imported;
    // otherwise false with `error` saying what happened (Assimp's message,
    // a crash with its signal, the time or memory limit).
    bool next(ImportedModel& model, std::string& error);

    bool running() const { return child > 0; }
    // The file next() will return next; empty when all have been returned.
    std::string upcoming() const { return done < paths.size() ? paths[done] : std::string(); }
    // The files not returned yet, for a new start() after a crash.
    std::vector<std::string> rest() const { return {paths.begin() + static_cast<long>(done), paths.end()}; }

private:
    // Reads exactly `size` bytes of results before the deadline, taking in
    // console output on the way. False on end of stream, timeout or error.
    bool readResult(char* into, std::size_t size, long long deadlineMs, bool& timedOut);
    void stop();

    std::vector<std::string> paths;
    std::size_t done = 0;
    pid_t child = -1;
    int resultFd = -1;
    int outputFd = -1;
    std::string output;
};
