#include "render/ImportProcess.h"

#include "render/AssimpConverter.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
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

bool writeAll(int fd, const std::string& bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The child may use this much more address space than the viewer has mapped
// when it forks. The viewer's own size is the base because a sanitizer build
// reserves terabytes of shadow memory up front.
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

bool isOutOfMemory(const std::string& reason) { return reason.find("bad_alloc") != std::string::npos; }

[[noreturn]] void runChild(const std::string& path, int resultFd)
{
    limitChild();
    std::string reply;
    try {
        ImportedModel model;
        std::string error;
        AssimpConverter converter;
        if (converter.convert(path, model, error))
            reply = 'M' + model.encode();
        else
            reply = 'E' + (isOutOfMemory(error) ? "ran out of memory importing " + path : error);
    } catch (const std::bad_alloc&) {
        reply = "Eran out of memory importing " + path;
    } catch (const std::exception& error) {
        reply = std::string("E") + error.what();
    }
    _exit(writeAll(resultFd, reply) ? 0 : 1);
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
            if (line.size() > 200)
                line = line.substr(0, 200) + "...";
            return line;
        }
        start = end + 1;
    }
    return std::string();
}

} // namespace

ImportProcess::~ImportProcess() { stop(); }

void ImportProcess::start(const std::string& modelPath)
{
    stop();
    path = modelPath;
    startError.clear();
    // A missing or unreadable file is told apart here, in Assimp's words,
    // without forking for it.
    if (!std::ifstream(path)) {
        startError = "Unable to open file \"" + path + "\".";
        return;
    }
    int result[2];
    int output[2];
    if (pipe(result) != 0) {
        startError = std::string("cannot start an import process: ") + std::strerror(errno);
        return;
    }
    if (pipe(output) != 0) {
        startError = std::string("cannot start an import process: ") + std::strerror(errno);
        close(result[0]);
        close(result[1]);
        return;
    }
    // Nothing buffered may be written twice by the child.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    child = fork();
    if (child == 0) {
        close(result[0]);
        close(output[0]);
        dup2(output[1], STDOUT_FILENO);
        dup2(output[1], STDERR_FILENO);
        close(output[1]);
        runChild(path, result[1]);
    }
    close(result[1]);
    close(output[1]);
    if (child < 0) {
        startError = std::string("cannot start an import process: ") + std::strerror(errno);
        close(result[0]);
        close(output[0]);
        return;
    }
    resultFd = result[0];
    outputFd = output[0];
}

bool ImportProcess::finish(ImportedModel& model, std::string& error)
{
    if (child < 0) {
        error = startError.empty() ? "no import was started" : startError;
        return false;
    }
    std::string reply;
    std::string output;
    bool timedOut = false;
    bool tooLarge = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeLimitSeconds);
    std::string buffer(1 << 16, '\0');
    while (resultFd >= 0 || outputFd >= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd fds[2] = {{resultFd, POLLIN, 0}, {outputFd, POLLIN, 0}};
        const int ready = poll(fds, 2, static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            int& fd = i == 0 ? resultFd : outputFd;
            const ssize_t n = read(fd, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                close(fd);
                fd = -1;
                continue;
            }
            std::string& into = i == 0 ? reply : output;
            const std::size_t limit = i == 0 ? resultLimitBytes : outputLimitBytes;
            if (into.size() + static_cast<std::size_t>(n) <= limit)
                into.append(buffer.data(), static_cast<std::size_t>(n));
            else if (i == 0)
                tooLarge = true;
        }
        if (tooLarge)
            break;
    }
    if (timedOut || tooLarge)
        kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    child = -1;
    stop();

    const std::string said = firstWords(output);
    const std::string detail = said.empty() ? std::string() : ": " + said;
    if (timedOut) {
        error = "import of " + path + " timed out after " + std::to_string(timeLimitSeconds) + " s";
    } else if (tooLarge) {
        error = "import of " + path + " produced more than " + std::to_string(resultLimitBytes >> 20) + " MiB";
    } else if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        error = "import of " + path + " crashed (signal " + std::to_string(signal) + ", " + strsignal(signal) + ")" +
                detail;
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "import of " + path + " failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")" + detail;
    } else if (!reply.empty() && reply[0] == 'E') {
        error = reply.substr(1);
    } else if (!reply.empty() && reply[0] == 'M') {
        if (model.decode(reply.substr(1), error))
            return true;
        error += " for " + path;
    } else {
        error = "import of " + path + " ended without a result" + detail;
    }
    // The line is printed as one line.
    for (char& c : error)
        if (c == '\n' || c == '\r')
            c = ' ';
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
