#include "import/ImportProcess.h"

#include "import/AssimpConverter.h"

#include <seccomp.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <malloc.h>
#include <new>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// clang says whether AddressSanitizer is on through __has_feature, gcc
// through __SANITIZE_ADDRESS__.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_ADDRESS_SANITIZER
#endif
#endif

void (*ImportProcess::childHook)(const std::string& path) = nullptr;

namespace {

// Console output kept from a child: enough for an assertion's or a
// sanitizer's first lines.
constexpr std::size_t outputLimitBytes = 64 * 1024;
// Longest error text a child sends.
constexpr std::size_t errorLimitBytes = 4096;
// The child's socket, moved here before every other descriptor is closed.
constexpr int childChannelFd = 3;

// Every message starts with this header. 'P': progress, nothing follows.
// 'E': `length` bytes of error text follow in the same message. 'M': the
// model, `length` bytes encoded at the start of the memfd that comes with
// the message, followed in the message by the child's ChildTimings.
struct Header {
    std::uint32_t index;
    std::uint32_t kind;
    std::uint64_t length;
};
static_assert(sizeof(Header) == 16, "the header travels as 16 bytes");
struct ChildTimings {
    double readMs;
    double convertMs;
    double encodeMs;
    // The child's peak resident memory so far, in KiB (getrusage).
    double peakKiB;
};

// In the child: the socket and the file being imported.
int progressFd = -1;
std::uint32_t currentIndex = 0;

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool send(int fd, const Header& header, const std::string& text, int attached)
{
    iovec parts[2] = {{const_cast<Header*>(&header), sizeof header},
                      {const_cast<char*>(text.data()), text.size()}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = text.empty() ? 1 : 2;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (attached >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &attached, sizeof(int));
    }
    for (;;) {
        const ssize_t n = sendmsg(fd, &message, MSG_NOSIGNAL);
        if (n >= 0)
            return static_cast<std::size_t>(n) == sizeof header + text.size();
        if (errno != EINTR)
            return false;
    }
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

// Reading and converting a model of millions of triangles touches a GiB or
// more within seconds, much of it in scattered reads. With 4 KiB pages each
// page costs a fault and each scattered read a TLB miss, and both are dear
// on a virtual machine: an 8M-triangle mesh took twice as long to import.
// So the child's heap is grown once, by an untouched reservation, and marked
// for transparent huge pages; every allocation then comes from that heap
// (no separate mappings for large blocks) and freed memory stays in it for
// the next one. Where huge pages are off this changes nothing but the
// allocator's settings. Skipped under AddressSanitizer, whose allocator
// ignores these settings.
void reserveHugePageHeap()
{
#if !defined(__SANITIZE_ADDRESS__) && !defined(VELMORA_ADDRESS_SANITIZER)
    constexpr std::size_t reserveBytes = std::size_t(2) << 30;
    constexpr std::uintptr_t hugePage = std::uintptr_t(2) << 20;
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, -1);
    void* block = std::malloc(reserveBytes);
    if (!block)
        return;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(block) + hugePage - 1) & ~(hugePage - 1);
    std::free(block);
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(sbrk(0));
    // Only when the block really came from the heap's top.
    if (begin < end && end - begin <= reserveBytes)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

// What the child may do from here on: read files, map memory, write to the
// descriptors it holds. Anything that creates or writes a file, opens a
// socket, runs a program or reaches into another process ends it with
// SIGSYS. Descriptors inherited from the viewer are closed first (only the
// console pipe, the socket and /dev/null as input stay), so nothing writable
// is left but its own.
bool confine()
{
    const int input = open("/dev/null", O_RDONLY);
    if (input < 0 || dup2(input, STDIN_FILENO) < 0)
        return false;
    if (input != STDIN_FILENO)
        close(input);
    if (close_range(childChannelFd + 1, ~0u, 0) != 0)
        return false;

    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    if (!filter)
        return false;
    bool ok = true;
    const auto forbid = [&](int call) { ok = ok && seccomp_rule_add(filter, SCMP_ACT_KILL_PROCESS, call, 0) == 0; };
    for (int call : {SCMP_SYS(socket), SCMP_SYS(socketpair), SCMP_SYS(connect), SCMP_SYS(bind), SCMP_SYS(listen),
                     SCMP_SYS(accept), SCMP_SYS(accept4), SCMP_SYS(execve), SCMP_SYS(execveat), SCMP_SYS(ptrace),
                     SCMP_SYS(process_vm_writev), SCMP_SYS(process_vm_readv), SCMP_SYS(creat), SCMP_SYS(mkdir),
                     SCMP_SYS(mkdirat), SCMP_SYS(mknod), SCMP_SYS(mknodat), SCMP_SYS(rename), SCMP_SYS(renameat),
                     SCMP_SYS(renameat2), SCMP_SYS(unlink), SCMP_SYS(unlinkat), SCMP_SYS(rmdir), SCMP_SYS(link),
                     SCMP_SYS(linkat), SCMP_SYS(symlink), SCMP_SYS(symlinkat), SCMP_SYS(truncate), SCMP_SYS(chmod),
                     SCMP_SYS(fchmodat), SCMP_SYS(chown), SCMP_SYS(lchown), SCMP_SYS(fchownat), SCMP_SYS(utimes),
                     SCMP_SYS(utimensat), SCMP_SYS(openat2), SCMP_SYS(open_by_handle_at), SCMP_SYS(mount),
                     SCMP_SYS(io_uring_setup)})
        forbid(call);
    // Opening is allowed for reading only: any of these flags ends the child.
    for (unsigned flag : {unsigned(O_WRONLY), unsigned(O_RDWR), unsigned(O_CREAT), unsigned(O_TRUNC)}) {
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_KILL_PROCESS, SCMP_SYS(open), 1,
                                    SCMP_A1(SCMP_CMP_MASKED_EQ, flag, flag)) == 0;
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_KILL_PROCESS, SCMP_SYS(openat), 1,
                                    SCMP_A2(SCMP_CMP_MASKED_EQ, flag, flag)) == 0;
    }
    ok = ok && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return ok;
}

// The file's import as an error text, or the model in `model`.
bool importOne(const std::string& path, ImportedModel& model, std::string& error, ChildTimings& timings)
{
    const std::string outOfMemory = "ran out of memory importing " + path;
    try {
        // Opened without blocking (a FIFO would wait for a writer) and
        // refused unless it is a regular file, before Assimp sees it.
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            error = "Unable to open file \"" + path + "\".";
            return false;
        }
        struct stat status {};
        const bool regular = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
        close(fd);
        if (!regular) {
            error = path + " is not a regular file";
            return false;
        }
        AssimpConverter converter;
        const bool converted = converter.convert(path, model, error);
        timings.readMs = converter.readMs;
        timings.convertMs = converter.convertMs;
        if (converted)
            return true;
        // Assimp catches an allocation failure and names the exception.
        if (error.find("bad_alloc") != std::string::npos)
            error = outOfMemory;
    } catch (const std::bad_alloc&) {
        error = outOfMemory;
    } catch (const std::exception& e) {
        error = e.what();
    }
    model = ImportedModel();
    return false;
}

// The encoded model in a sealed memfd: nothing can shrink it under the
// viewer's mapping, or change it once sent. -1 when memory runs out. The
// memory is allocated and mapped whole before the encoding writes it, so
// that the writes take no page fault each.
int modelMemory(const ImportedModel& model, std::size_t& size)
{
    size = model.encodedSize();
    const int fd = memfd_create("velmora-model", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return -1;
    void* map = MAP_FAILED;
    if (ftruncate(fd, static_cast<off_t>(size)) == 0 && fallocate(fd, 0, 0, static_cast<off_t>(size)) == 0)
        map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
    if (map == MAP_FAILED) {
        close(fd);
        return -1;
    }
    model.encodeInto(static_cast<char*>(map));
    munmap(map, size);
    if (fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

[[noreturn]] void runChild(const std::vector<std::string>& paths)
{
    limitChild();
    reserveHugePageHeap();
    const bool confined = confine();
    progressFd = childChannelFd;
    AssimpConverter::progress = &ImportProcess::reportProgress;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        currentIndex = static_cast<std::uint32_t>(i);
        ImportedModel model;
        std::string error = "could not confine the import process";
        bool imported = false;
        ChildTimings timings{};
        if (confined) {
            if (ImportProcess::childHook)
                ImportProcess::childHook(paths[i]);
            imported = importOne(paths[i], model, error, timings);
        }
        bool sent = false;
        if (imported) {
            std::size_t size = 0;
            const auto start = std::chrono::steady_clock::now();
            const int fd = modelMemory(model, size);
            timings.encodeMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            rusage usage{};
            if (getrusage(RUSAGE_SELF, &usage) == 0)
                timings.peakKiB = static_cast<double>(usage.ru_maxrss);
            model = ImportedModel();
            if (fd >= 0) {
                sent = send(childChannelFd, Header{currentIndex, 'M', size},
                            std::string(reinterpret_cast<const char*>(&timings), sizeof timings), fd);
                close(fd);
            } else {
                imported = false;
                error = "ran out of memory importing " + paths[i];
            }
        }
        if (!imported) {
            if (error.size() > errorLimitBytes)
                error.resize(errorLimitBytes);
            sent = send(childChannelFd, Header{currentIndex, 'E', error.size()}, error, -1);
        }
        if (!sent)
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

void oneLine(std::string& text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
}

} // namespace

void ImportProcess::reportProgress()
{
    static long long last = 0;
    if (progressFd < 0)
        return;
    const long long now = nowMs();
    if (now - last < 50)
        return;
    last = now;
    send(progressFd, Header{currentIndex, 'P', 0}, std::string(), -1);
}

ImportProcess::~ImportProcess() { stop(); }

void ImportProcess::start(std::vector<std::string> files)
{
    stop();
    paths = std::move(files);
    done = 0;
    int channel[2];
    int console[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, channel) != 0)
        return;
    if (pipe2(console, O_CLOEXEC) != 0) {
        close(channel[0]);
        close(channel[1]);
        return;
    }
    // Nothing buffered may be written twice by the child.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    child = fork();
    if (child == 0) {
        // dup2 clears close-on-exec on the copies; nothing is exec'd anyway.
        dup2(console[1], STDOUT_FILENO);
        dup2(console[1], STDERR_FILENO);
        dup2(channel[1], childChannelFd);
        runChild(paths);
    }
    close(channel[1]);
    close(console[1]);
    if (child < 0) {
        close(channel[0]);
        close(console[0]);
        return;
    }
    channelFd = channel[0];
    outputFd = console[0];
}

void ImportProcess::takeOutput()
{
    char buffer[4096];
    const ssize_t n = read(outputFd, buffer, sizeof buffer);
    if (n > 0 && output.size() + static_cast<std::size_t>(n) <= outputLimitBytes)
        output.append(buffer, static_cast<std::size_t>(n));
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
        close(outputFd);
        outputFd = -1;
    }
}

ImportProcess::Outcome ImportProcess::receive(MappedModel& model, std::string& error)
{
    long long deadline = nowMs() + stallMs;
    for (;;) {
        const long long left = deadline - nowMs();
        if (left <= 0)
            return Outcome::Stalled;
        pollfd fds[2] = {{channelFd, POLLIN, 0}, {outputFd, POLLIN, 0}};
        if (poll(fds, 2, static_cast<int>(left)) < 0) {
            if (errno == EINTR)
                continue;
            return Outcome::Ended;
        }
        if (outputFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            takeOutput();
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;

        Header header{};
        char text[errorLimitBytes];
        iovec parts[2] = {{&header, sizeof header}, {text, sizeof text}};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = 2;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t n = recvmsg(channelFd, &message, MSG_CMSG_CLOEXEC);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Outcome::Ended;
        // Every descriptor that came is owned here from now on.
        int memory = -1;
        int descriptors = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
                continue;
            const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i) {
                int fd = -1;
                std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
                if (++descriptors == 1)
                    memory = fd;
                else
                    close(fd);
            }
        }
        const std::size_t textBytes = static_cast<std::size_t>(n) - std::min<std::size_t>(n, sizeof header);
        const bool whole = static_cast<std::size_t>(n) >= sizeof header && !(message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) &&
                           header.index == done - 1;
        if (whole && header.kind == 'P' && textBytes == 0 && descriptors == 0) {
            deadline = nowMs() + stallMs;
            continue;
        }
        if (whole && header.kind == 'E' && header.length == textBytes && descriptors == 0) {
            error.assign(text, textBytes);
            return Outcome::Error;
        }
        if (!whole || header.kind != 'M' || textBytes != sizeof(ChildTimings) || descriptors != 1 ||
            header.length > resultLimitBytes) {
            if (memory >= 0)
                close(memory);
            return Outcome::Garbled;
        }
        // The memory must be sealed against shrinking (a smaller file under
        // the mapping would fault on read) and hold what the header says.
        struct stat status {};
        const int seals = fcntl(memory, F_GET_SEALS);
        const bool sound = seals >= 0 && (seals & F_SEAL_SHRINK) && (seals & F_SEAL_WRITE) &&
                           fstat(memory, &status) == 0 && status.st_size >= 0 &&
                           static_cast<std::uint64_t>(status.st_size) >= header.length && header.length > 0;
        // Mapped whole at once (the pages are the child's, already there),
        // rather than page by page as the checks and the upload read them.
        const auto start = std::chrono::steady_clock::now();
        void* map =
            sound ? mmap(nullptr, header.length, PROT_READ, MAP_SHARED | MAP_POPULATE, memory, 0) : MAP_FAILED;
        close(memory);
        if (map == MAP_FAILED)
            return Outcome::Garbled;
        const bool decoded = model.readMapping(map, header.length, error);
        // Figures for the start-up breakdown only; nothing depends on them.
        ChildTimings child{};
        std::memcpy(&child, text, sizeof child);
        timings.readMs = child.readMs;
        timings.convertMs = child.convertMs;
        timings.childPeakKiB = child.peakKiB;
        timings.handOverMs =
            child.encodeMs + std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        return decoded ? Outcome::Model : Outcome::Error;
    }
}

bool ImportProcess::next(MappedModel& model, std::string& error)
{
    const std::string path = upcoming();
    ++done;
    if (child <= 0) {
        error = "could not start a process to import " + path;
        return false;
    }
    output.clear();
    const Outcome outcome = receive(model, error);
    if (outcome == Outcome::Model)
        return true;
    if (outcome == Outcome::Error) {
        if (error.rfind("the import process sent", 0) == 0)
            error += " for " + path;
        oneLine(error);
        return false;
    }

    // The child is of no further use: it crashed, stalled, or sent something
    // that is no result.
    kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    child = -1;
    // What the child wrote before it ended, without waiting for more.
    for (pollfd pending{outputFd, POLLIN, 0}; outputFd >= 0 && poll(&pending, 1, 0) > 0; pending.fd = outputFd)
        takeOutput();
    const std::string said = firstWords(output);
    const std::string detail = said.empty() ? std::string() : ": " + said;
    if (outcome == Outcome::Stalled)
        error = "import of " + path + " made no progress for " +
                (stallMs % 1000 == 0 ? std::to_string(stallMs / 1000) + " s" : std::to_string(stallMs) + " ms") +
                " and was stopped";
    else if (outcome == Outcome::Garbled)
        error = "import of " + path + " sent no usable result";
    else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGSYS)
        error = "import of " + path + " was stopped for a forbidden system call (reading the file may not write, "
                                      "connect or run anything)";
    else if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL)
        error = "import of " + path + " crashed (signal " + std::to_string(WTERMSIG(status)) + ", " +
                strsignal(WTERMSIG(status)) + ")" + detail;
    else if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        error = "import of " + path + " failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")" + detail;
    else if (WIFSIGNALED(status))
        error = "import of " + path + " was killed, most likely for running out of memory" + detail;
    else
        error = "import of " + path + " ended without a result" + detail;
    oneLine(error);
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
    if (channelFd >= 0)
        close(channelFd);
    if (outputFd >= 0)
        close(outputFd);
    channelFd = outputFd = -1;
}
