#include "XSession.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// Forks `run` in a child with stdin from /dev/null and stdout, stderr to
// the given files.
pid_t spawn(const std::string& out, const std::string& err, const std::function<void()>& run)
{
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        run();
        _exit(127);
    }
    return pid;
}

} // namespace

XSession::XSession()
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    // Xvfb writes the display number to the pipe once it accepts connections.
    xvfb = spawn("/dev/null", "/dev/null", [&] {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24", "-noreset", "-nolisten",
               "tcp", static_cast<char*>(nullptr));
    });
    close(fds[1]);
    char buffer[32] = {};
    for (ssize_t got = 0, n; got < 31 && (n = read(fds[0], buffer + got, 31 - got)) > 0 && buffer[got + n - 1] != '\n';)
        got += n;
    close(fds[0]);
    if (buffer[0] >= '0' && buffer[0] <= '9')
        display = ":" + std::to_string(std::atoi(buffer));
}

XSession::~XSession()
{
    for (pid_t pid : {program, xvfb})
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
}

bool XSession::launch(const std::string& workingDir) { return launch(workingDir, VELMORA_BINARY, {}); }

bool XSession::launch(const std::string& workingDir, const std::string& path, const std::vector<std::string>& arguments)
{
    if (!ok())
        return false;
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    program = spawn(logs.file("stdout.txt"), logs.file("stderr.txt"), [&] {
        setenv("DISPLAY", display.c_str(), 1);
        if (chdir(workingDir.c_str()) == 0)
            execv(path.c_str(), argv.data());
    });
    return program > 0;
}

int XSession::x(const std::string& command) const
{
    const int status = std::system(("DISPLAY=" + display + " " + command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool XSession::waitForWindow(double seconds)
{
    for (const double end = now() + seconds; now() < end && running(); pause(0.2))
        if (x("xdotool search --name '^Velmora$'") == 0)
            return true;
    return false;
}

void XSession::key(const std::string& name) { x("xdotool key " + name); }

void XSession::moveMouse(int dx, int dy)
{
    // With the cursor disabled, motion reaches the window only once it has focus.
    x("xdotool search --name '^Velmora$' windowfocus --sync");
    x("xdotool mousemove_relative -- " + std::to_string(dx) + " " + std::to_string(dy));
}

Image XSession::screenshotUntil(const std::function<bool(const Image&)>& done, double seconds)
{
    // PPM: ImageMagick writes it at once, where PNG encoding takes seconds
    // while the viewer keeps every core busy.
    const std::string path = logs.file("shot.ppm");
    Image shot;
    for (const double end = now() + seconds;;) {
        x("import -window root " + path);
        shot = Image::load(path);
        if ((!shot.rgb.empty() && done(shot)) || now() >= end)
            return shot;
        pause(0.3);
    }
}

void XSession::pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

bool XSession::running()
{
    int status = 0;
    if (program <= 0 || waitpid(program, &status, WNOHANG) != program)
        return program > 0;
    program = -1;
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    return false;
}

int XSession::waitExit(double seconds, const std::string& key)
{
    double pressed = 0;
    for (const double end = now() + seconds; running() && now() < end; pause(0.05))
        if (!key.empty() && now() - pressed > 1.0) {
            x("xdotool key " + key);
            pressed = now();
        }
    return running() ? -1000 : exitCode;
}

bool XSession::waitForOutput(const std::string& text, double seconds)
{
    for (const double end = now() + seconds; output().find(text) == std::string::npos; pause(0.2))
        if (now() >= end)
            return false;
    return true;
}

std::string XSession::output() const { return logs.read("stdout.txt"); }
std::string XSession::errors() const { return logs.read("stderr.txt"); }
