#include "TempDir.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

// The real binary in a real full-screen window.
TEST(Startup, OpensFullScreenVelmoraWindowAndEscapeEndsWithStatusZero)
{
    TempDir dir;
    dir.layOutRepository();
    XSession x;
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    ASSERT_TRUE(x.launch(dir.path()));
    ASSERT_TRUE(x.waitForWindow()) << x.output() << x.errors();

    EXPECT_EQ(x.x("test \"$(xdotool search --name '^Velmora$' getwindowgeometry --shell | "
                  "grep -E '^(WIDTH|HEIGHT)=' | tr '\\n' ' ')\" = 'WIDTH=1920 HEIGHT=1080 '"),
              0)
        << "the window must cover 1920x1080";

    // The shipped scene under the night sky covers most of the window once a
    // frame is drawn. The sky's darkest texel is 6 of 255 and the clear
    // colour 0, so level 3 separates drawn from cleared pixels; a tenth of
    // the window is far below what the sky and models cover. Frames may be
    // slow to come on a loaded machine: up to 30 s are allowed for one.
    const auto drawn = [](const Image& image) {
        return image.width == 1920 && image.height == 1080 && image.fractionBrighterThan(0, 0, 1920, 1080, 3.0f) > 0.1;
    };
    const Image shot = x.screenshotUntil(drawn, 30.0);
    ASSERT_EQ(shot.width, 1920);
    ASSERT_EQ(shot.height, 1080);
    EXPECT_GT(shot.fractionBrighterThan(0, 0, 1920, 1080, 3.0f), 0.1) << "no frame was drawn";

    x.key("Escape");
    EXPECT_EQ(x.waitExit(5.0), 0) << x.errors();
}

TEST(Startup, NoDisplayPrintsFailedToOpenWindowAndExits255)
{
    TempDir dir;
    dir.layOutRepository();
    const std::string command = "cd '" + dir.path() + "' && env -u DISPLAY -u WAYLAND_DISPLAY '" VELMORA_BINARY
                                "' > out.txt 2> err.txt < /dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    EXPECT_EQ(dir.read("out.txt"), "Failed to open GLFW window\n");
}
