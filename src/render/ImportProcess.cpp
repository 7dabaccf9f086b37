#include "render/ImportProcess.h"

#include "render/AssimpConverter.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <new>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Console output kept from a child: enough for an assertion's or a
// sanitizer's first lines.
constexpr std::size_t outputLimitBytes = 64 * 1024;

// Each result travels as a header (file index, 'M' model or 'E' error
// text, payload length) followed by the payload.
struct ResultHeader {
    std::uint32_t index;
    char kind;
    std::uint64_t length;
};
constexpr std::size_t headerBytes = 4 + 1 + 8;

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool writeAll(int fd, const char* data, std::size_t size)
{
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The child may use this much more address space than the viewer had mapped
// when it forked. The viewer's own size is the base because a sanitizer
// build reserves terabytes of shadow memory up front.
void limitChild()
{
    unsigned long long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%llu", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    const unsigned long long current = pages * static_cast<unsigned long long>(sysconf(_SC_PAGESIZE));
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = current + ImportProcess::memoryLimitBytes;
    setrlimit(RLIMIT_AS, &limit);
    // A crash must not write a core file of that size.
    limit.rlim_cur = limit.rlim_max = 0;
    setrlimit(RLIMIT_CORE, &limit);
}

// One file's result as 'M' + encoded model or 'E' + the reason.
std::string importOne(const std::string& path)
{
    const std::string outOfMemory = "ran out of memory importing " + path;
    try {
        // Assimp's own text for a missing file, without starting Assimp.
        if (!std::ifstream(path))
            return "EUnable to open file \"" + path + "\".";
        ImportedModel model;
        std::string error;
        if (AssimpConverter().convert(path, model, error))
            return 'M' + model.encode();
        // Assimp catches an allocation failure and names the exception.
        return 'E' + (error.find("bad_alloc") != std::string::npos ? outOfMemory : error);
    } catch (const std::bad_alloc&) {
        return 'E' + outOfMemory;
    } catch (const std::exception& error) {
        return std::string("E") + error.what();
    }
}

[[noreturn]] void runChild(const std::vector<std::string>& paths, int resultFd)
{
    limitChild();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string reply = importOne(paths[i]);
        char header[headerBytes];
        const std::uint32_t index = static_cast<std::uint32_t>(i);
        const std::uint64_t length = reply.size() - 1;
        std::memcpy(header, &index, 4);
        header[4] = reply[0];
        std::memcpy(header + 5, &length, 8);
        if (!writeAll(resultFd, header, headerBytes) || !writeAll(resultFd, reply.data() + 1, reply.size() - 1))
            _exit(1);
    }
    _exit(0);
}

// The first line of the child's console output that says something, cut to
// a readable length (an assertion message, a sanitizer's headline).
std::string firstWords(const std::string& output)
{
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        std::string line = output.substr(start, end - start);
        const std::size_t text = line.find_first_not_of("= \t\r");
        if (text != std::string::npos) {
            line = line.substr(text);
            return line.size() > 200 ? line.substr(0, 200) + "..." : line;
        }
        start = end + 1;
    }
    return std::string();
}

} // namespace

ImportProcess::~ImportProcess() { stop(); }

void ImportProcess::start(std::vector<std::string> files)
{
    stop();
    paths = std::move(files);
    done = 0;
    int result[2];
    int console[2];
    if (pipe(result) != 0)
        return;
    if (pipe(console) != 0) {
        close(result[0]);
        close(result[1]);
        return;
    }
    // A large pipe lets the child import ahead while the viewer is busy
    // making the previous model (the call may fail; the default size then
    // only costs time).
    fcntl(result[1], F_SETPIPE_SZ, 1 << 20);
    // Nothing buffered may be written twice by the child.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    child = fork();
    if (child == 0) {
        close(result[0]);
        close(console[0]);
        dup2(console[1], STDOUT_FILENO);
        dup2(console[1], STDERR_FILENO);
        close(console[1]);
        runChild(paths, result[1]);
    }
    close(result[1]);
    close(console[1]);
    if (child < 0) {
        close(result[0]);
        close(console[0]);
        return;
    }
    resultFd = result[0];
    outputFd = console[0];
}

bool ImportProcess::readResult(char* into, std::size_t size, long long deadlineMs, bool& timedOut)
{
    std::size_t got = 0;
    char buffer[4096];
    while (got < size) {
        const long long left = deadlineMs - nowMs();
        if (left <= 0) {
            timedOut = true;
            return false;
        }
        pollfd fds[2] = {{resultFd, POLLIN, 0}, {outputFd, POLLIN, 0}};
        if (poll(fds, 2, static_cast<int>(left)) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (outputFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = read(outputFd, buffer, sizeof buffer);
            if (n > 0 && output.size() + static_cast<std::size_t>(n) <= outputLimitBytes)
                output.append(buffer, static_cast<std::size_t>(n));
            if (n == 0 || (n < 0 && errno != EINTR)) {
                close(outputFd);
                outputFd = -1;
            }
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = read(resultFd, into + got, size - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            got += static_cast<std::size_t>(n);
        }
    }
    return true;
}

bool ImportProcess::next(ImportedModel& model, std::string& error)
{
    const std::string path = upcoming();
    ++done;
    if (child <= 0) {
        error = "could not start a process to import " + path;
        return false;
    }
    output.clear();
    const long long deadline = nowMs() + timeLimitSeconds * 1000LL;
    bool timedOut = false;
    bool garbled = false;
    char header[headerBytes];
    ResultHeader head{};
    std::string payload;
    bool complete = readResult(header, headerBytes, deadline, timedOut);
    if (complete) {
        std::memcpy(&head.index, header, 4);
        head.kind = header[4];
        std::memcpy(&head.length, header + 5, 8);
        // The length is checked before anything is allocated for it.
        complete = head.index == done - 1 && (head.kind == 'M' || head.kind == 'E') &&
                   head.length <= resultLimitBytes;
        garbled = !complete;
        if (complete) {
            payload.resize(head.length);
            complete = readResult(payload.data(), payload.size(), deadline, timedOut);
        }
    }
    if (complete) {
        if (head.kind == 'E') {
            error = payload;
        } else if (model.decode(payload, error)) {
            return true;
        } else {
            error += " for " + path;
        }
        for (char& c : error)
            if (c == '\n' || c == '\r')
                c = ' ';
        return false;
    }

    // The child is of no further use: it crashed, hung, or sent something
    // that is no result.
    kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    child = -1;
    const std::string said = firstWords(output);
    const std::string detail = said.empty() ? std::string() : ": " + said;
    if (timedOut)
        error = "import of " + path + " timed out after " + std::to_string(timeLimitSeconds) + " s";
    else if (garbled)
        error = "import of " + path + " sent no usable result";
    else if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL)
        error = "import of " + path + " crashed (signal " + std::to_string(WTERMSIG(status)) + ", " +
                strsignal(WTERMSIG(status)) + ")" + detail;
    else if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        error = "import of " + path + " failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")" + detail;
    else if (WIFSIGNALED(status))
        error = "import of " + path + " was killed, most likely for running out of memory" + detail;
    else
        error = "import of " + path + " ended without a result" + detail;
    for (char& c : error)
        if (c == '\n' || c == '\r')
            c = ' ';
    stop();
    return false;
}

void ImportProcess::stop()
{
    if (child > 0) {
        kill(child, SIGKILL);
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    child = -1;
    if (resultFd >= 0)
        close(resultFd);
    if (outputFd >= 0)
        close(outputFd);
    resultFd = outputFd = -1;
}
