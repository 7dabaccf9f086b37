#pragma once

#include "import/MappedModel.h"

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

// Imports model files in a child process, so that nothing in a file can end
// the viewer: Assimp's assertions abort, some files make it allocate without
// bound or loop for minutes. The child is forked from the viewer, never
// touches OpenGL, and imports the files one after the other with
// AssimpConverter, under an address-space limit and a seccomp filter that
// lets it read files and write only what it was given (its socket, its
// console pipe, the shared memory it creates): creating or writing files,
// opening sockets, exec and ptrace end it. It also decodes the images the
// materials name, so the viewer parses nothing from a model's files.
//
// Hand-over: for each file the child sends, on a datagram socket, progress
// notes while it works, then either an error text or a model. A model is
// encoded straight into a sealed memfd sized from the model's counts, and
// the descriptor travels with the message; the viewer maps it read-only,
// checks everything in place and keeps the mapping as a MappedModel, from
// which the meshes are uploaded without a copy of their own. One child for many files keeps
// the cost of forking a large process to once per scene.
//
// Owns: the child, its socket and its console pipe. The destructor kills and
// reaps a child still running.
// Use:  start() with the files, then next() once per file, in order. After
//       a child has crashed or been stopped, running() is false and the
//       files after the one it failed on need a new start().
class ImportProcess {
public:
    // Address space a child may add to what the viewer had when it forked.
    static constexpr unsigned long long memoryLimitBytes = 4ull << 30;
    // A child that reports no progress for this long on one file is stopped
    // (settable for tests: setStallLimit()). A file that keeps progressing
    // is never stopped for its size.
    static constexpr int stallLimitMs = 30000;
    // Largest model read back for one file; a child sending more is stopped.
    static constexpr std::size_t resultLimitBytes = memoryLimitBytes;

    // For tests: called in the child, with the filter in place, before each
    // file is imported. Production code never sets it.
    static void (*childHook)(const std::string& path);
    // Tells the viewer that the child is still at work (at most one note
    // every 50 ms); a no-op outside a child.
    static void reportProgress();

    ImportProcess() = default;
    ImportProcess(const ImportProcess&) = delete;
    ImportProcess& operator=(const ImportProcess&) = delete;
    ~ImportProcess();

    // Forks the child for `paths`. The child opens the files; one that is
    // not a regular file is refused without Assimp (and without blocking).
    void start(std::vector<std::string> paths);
    // The next file's result. True with `model` filled when it imported;
    // otherwise false with `error` saying what happened in one line
    // (Assimp's message, a crash with its signal, a forbidden system call,
    // the stall or memory limit).
    bool next(MappedModel& model, std::string& error);
    void setStallLimit(int milliseconds) { stallMs = milliseconds; }

    // Where the last model next() returned spent its time, in ms: Assimp's
    // ReadFile, the conversion (images decoded included), and the hand-over
    // (encoding in the child, mapping and checking in the viewer).
    struct Timings {
        double readMs = 0.0;
        double convertMs = 0.0;
        double handOverMs = 0.0;
        // The import process's peak resident memory up to this model, KiB.
        double childPeakKiB = 0.0;
    };
    const Timings& lastTimings() const { return timings; }

    bool running() const { return child > 0; }
    // The file next() will return next; empty when all have been returned.
    std::string upcoming() const { return done < paths.size() ? paths[done] : std::string(); }
    // The files not returned yet, for a new start() after a crash.
    std::vector<std::string> rest() const { return {paths.begin() + static_cast<long>(done), paths.end()}; }

private:
    enum class Outcome { Model, Error, Stalled, Garbled, Ended };
    // Waits for the current file's result, taking in progress notes and
    // console output on the way.
    Outcome receive(MappedModel& model, std::string& error);
    // Reads the console pipe once, keeping what fits.
    void takeOutput();
    void stop();

    std::vector<std::string> paths;
    std::size_t done = 0;
    pid_t child = -1;
    int channelFd = -1;
    int outputFd = -1;
    int stallMs = stallLimitMs;
    std::string output;
    Timings timings;
};
