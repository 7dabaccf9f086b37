#include "XSession.h"

#include "TempDir.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

XSession::XSession()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-x-XXXXXX").string();
    if (mkdtemp(pattern.data()))
        logDir = pattern;

    int fds[2];
    if (pipe(fds) != 0)
        return;
    xvfb = fork();
    if (xvfb == 0) {
        close(fds[0]);
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, 0);
        dup2(devNull, 1);
        dup2(devNull, 2);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24", "-noreset", "-nolisten",
               "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char buffer[32] = {};
    ssize_t got = 0;
    // Xvfb writes the display number once it accepts connections.
    while (got < static_cast<ssize_t>(sizeof buffer) - 1) {
        const ssize_t n = read(fds[0], buffer + got, sizeof buffer - 1 - got);
        if (n <= 0)
            break;
        got += n;
        if (buffer[got - 1] == '\n')
            break;
    }
    close(fds[0]);
    const int number = std::atoi(buffer);
    if (got > 0)
        display = ":" + std::to_string(number);
}

XSession::~XSession()
{
    if (viewer > 0) {
        kill(viewer, SIGKILL);
        waitpid(viewer, nullptr, 0);
    }
    if (xvfb > 0) {
        kill(xvfb, SIGTERM);
        waitpid(xvfb, nullptr, 0);
    }
    if (!logDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(logDir, ignored);
    }
}

bool XSession::launch(const std::string& workingDir, const std::string& binary)
{
    if (!ok())
        return false;
    const std::string out = logDir + "/stdout.txt";
    const std::string err = logDir + "/stderr.txt";
    viewer = fork();
    if (viewer == 0) {
        if (chdir(workingDir.c_str()) != 0)
            _exit(126);
        setenv("DISPLAY", display.c_str(), 1);
        const int in = open("/dev/null", O_RDONLY);
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(o, 1);
        dup2(e, 2);
        execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return viewer > 0;
}

int XSession::x(const std::string& command) const
{
    const std::string line = "export DISPLAY=" + display + "; " + command + " >/dev/null 2>&1";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool XSession::waitForWindow(double seconds)
{
    const double end = now() + seconds;
    while (now() < end) {
        if (!running())
            return false;
        if (x("xdotool search --name '^Velmora$'") == 0)
            return running();
        pause(0.2);
    }
    return false;
}

void XSession::key(const std::string& name) { x("xdotool key " + name); }

void XSession::moveMouse(int dx, int dy)
{
    // With the cursor disabled, motion reaches the window only once it has focus.
    x("xdotool search --name '^Velmora$' windowfocus --sync");
    x("xdotool mousemove_relative -- " + std::to_string(dx) + " " + std::to_string(dy));
}

Image XSession::screenshot()
{
    // PPM: ImageMagick writes it at once, where PNG encoding takes seconds
    // while the viewer keeps every core busy.
    const std::string path = logDir + "/shot.ppm";
    std::remove(path.c_str());
    x("import -window root " + path);
    return Image::load(path);
}

Image XSession::screenshotUntil(const std::function<bool(const Image&)>& done, double seconds)
{
    const double end = now() + seconds;
    Image shot = screenshot();
    while (!done(shot) && now() < end) {
        pause(0.5);
        shot = screenshot();
    }
    return shot;
}

void XSession::pause(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

bool XSession::running()
{
    if (viewer <= 0)
        return false;
    int status = 0;
    if (waitpid(viewer, &status, WNOHANG) != viewer)
        return true;
    viewer = -1;
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    return false;
}

int XSession::waitExit(double seconds)
{
    const double end = now() + seconds;
    while (running() && now() < end)
        pause(0.05);
    if (running()) {
        kill(viewer, SIGKILL);
        waitpid(viewer, nullptr, 0);
        viewer = -1;
        return -1000;
    }
    return exitCode;
}

std::string XSession::output() const { return readFile(logDir + "/stdout.txt"); }
std::string XSession::errors() const { return readFile(logDir + "/stderr.txt"); }
