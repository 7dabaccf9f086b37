// The import process as the viewer's guard: its stall limit, its system-call
// filter, files whose open would block, and the hand-over it sends back.
#include "TempDir.h"
#include "import/ImportProcess.h"
#include "render/Model.h"
#include "render/ModelLoader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const char* const triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";

// Runs in the import child before each file (ImportProcess::childHook): what
// a hostile or slow file could make the parser do, chosen by its name.
void misbehave(const std::string& path)
{
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const auto busyFor = [](int ms, bool progressing) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            if (progressing)
                ImportProcess::reportProgress();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    if (name == "hangs.obj")
        busyFor(3000, false);
    if (name == "slow.obj")
        busyFor(1500, true);
    if (name == "writes.obj") {
        const std::string written = path.substr(0, path.size() - name.size()) + "written.txt";
        const int fd = open(written.c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0 && write(fd, "escaped", 7) > 0)
            close(fd);
    }
    if (name == "connects.obj")
        close(socket(AF_INET, SOCK_STREAM, 0));
}

class ImportProcessTest : public testing::Test {
protected:
    void SetUp() override { ImportProcess::childHook = &misbehave; }
    void TearDown() override { ImportProcess::childHook = nullptr; }

    // Imports `names` (files of `dir`) in order as the viewer does: a new
    // child for the rest after one has been stopped. Each result: "ok" or
    // the error line.
    std::vector<std::string> importAll(const std::vector<std::string>& names, int stallMs)
    {
        std::vector<std::string> paths;
        for (const std::string& name : names)
            paths.push_back(dir.file(name));
        ImportProcess process;
        process.setStallLimit(stallMs);
        process.start(paths);
        std::vector<std::string> results;
        while (!process.upcoming().empty()) {
            if (!process.running()) {
                process.start(process.rest());
                process.setStallLimit(stallMs);
            }
            MappedModel model;
            std::string error;
            results.push_back(process.next(model, error) ? "ok" : error);
            if (results.back() == "ok") {
                EXPECT_EQ(model.meshes.size(), 1u);
            }
        }
        return results;
    }

    TempDir dir;
};

// A file that makes no progress for longer than the limit is stopped and
// the next file still imports; one that keeps reporting progress for five
// times the limit is left to finish.
TEST_F(ImportProcessTest, StallLimitStopsASilentChildButNotASlowOneThatProgresses)
{
    for (const char* name : {"hangs.obj", "slow.obj", "after.obj"})
        dir.write(name, triangle);
    const auto start = std::chrono::steady_clock::now();
    const std::vector<std::string> results = importAll({"hangs.obj", "slow.obj", "after.obj"}, 300);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_NE(results[0].find("hangs.obj made no progress for 300 ms"), std::string::npos) << results[0];
    EXPECT_EQ(results[1], "ok");
    EXPECT_EQ(results[2], "ok");
    // Stopped at the limit, not after the 3 s the hang would take.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2900));
}

// Creating a file and opening a socket each end the child under its filter,
// with one line naming the file; nothing is written and the next file
// imports in a new child.
TEST_F(ImportProcessTest, ChildThatCreatesAFileOrOpensASocketIsStoppedAndTheNextFileLoads)
{
    for (const char* name : {"writes.obj", "connects.obj", "after.obj"})
        dir.write(name, triangle);
    const std::vector<std::string> results =
        importAll({"writes.obj", "connects.obj", "after.obj"}, ImportProcess::stallLimitMs);
    ASSERT_EQ(results.size(), 3u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_NE(results[i].find("forbidden system call"), std::string::npos) << results[i];
        EXPECT_EQ(results[i].find('\n'), std::string::npos);
    }
    EXPECT_NE(results[0].find("writes.obj"), std::string::npos);
    EXPECT_NE(results[1].find("connects.obj"), std::string::npos);
    EXPECT_EQ(results[2], "ok");
    EXPECT_NE(access(dir.file("written.txt").c_str(), F_OK), 0) << "the child wrote a file";
}

// A FIFO named as a model: the viewer must not open it (an open for reading
// waits for a writer), and the child refuses it as no regular file. A
// writer opened after 3 s releases a reader that did block, which the
// check below then sees.
TEST_F(ImportProcessTest, FifoGivenAsAModelNeitherBlocksTheViewerNorIsRead)
{
    const std::string fifo = dir.file("pipe.obj");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    dir.write("after.obj", triangle);
    std::atomic<bool> finished{false};
    std::atomic<bool> released{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 300 && !finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!finished) {
            released = true;
            close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        }
    });
    testing::internal::CaptureStderr();
    ModelLoader loader;
    loader.prefetch({fifo, dir.file("after.obj")});
    const std::shared_ptr<Model> model = loader.loadModel(fifo);
    finished = true;
    watchdog.join();
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(released) << "the viewer blocked on the FIFO";
    EXPECT_TRUE(model->getMeshes().empty());
    EXPECT_EQ(errors, "ERROR::ASSIMP:: " + fifo + " is not a regular file\n");
}

// The hand-over reader checks each count against the bytes that follow
// before it allocates: a mesh count of 2^32 - 1 is refused, not allocated.
TEST(HandOver, CountLargerThanTheBytesLeftIsRefusedBeforeAllocating)
{
    ImportedModel model;
    model.meshes.resize(1);
    model.meshes[0].vertices.resize(3);
    model.meshes[0].indices = {0, 1, 2};
    std::string bytes = model.encode();
    const std::uint32_t huge = 0xffffffffu;
    bytes.replace(4, 4, reinterpret_cast<const char*>(&huge), 4);
    MappedModel back;
    std::string error;
    EXPECT_FALSE(back.read(bytes, error));
    EXPECT_EQ(error, "the import process sent a damaged model");
}

} // namespace
