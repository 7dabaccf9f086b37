#include "app/Globals.h"
#include "app/InputCallbacks.h"
#include "camera/Camera.h"

#include "TempDir.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

// The GLFW callbacks, driven with the globals as start-up leaves them and
// the camera on a two-second path from z = -5 to z = -1. The callbacks never
// read the window, so none is made.
namespace {

// One user action: a key (with its GLFW action), a cursor position or a
// wheel step; then the state expected after it.
struct Step {
    enum Kind { Key, Cursor, Wheel } kind;
    double a; // key code, cursor x or wheel y offset
    double b; // key action or cursor y
    float yaw;
    float pitch;
    bool animated;
    bool postProcessing;
    float eyeZ;
};

struct InputCase {
    const char* rule;
    std::vector<Step> steps;
};

Step key(int code, int action, float yaw, float pitch, bool animated, bool post, float z = -5.0f)
{
    return {Step::Key, double(code), double(action), yaw, pitch, animated, post, z};
}
Step cursor(double x, double y, float yaw, float pitch, bool animated, float z = -5.0f)
{
    return {Step::Cursor, x, y, yaw, pitch, animated, true, z};
}
Step wheel(double y, bool animated, float z) { return {Step::Wheel, y, 0, 0, 0, animated, true, z}; }

const int press = GLFW_PRESS, repeat = GLFW_REPEAT, release = GLFW_RELEASE;

const InputCase inputCases[] = {
    {"first cursor event turns by nothing, even at a fractional position",
     {key(GLFW_KEY_SPACE, press, 0, 0, false, true), cursor(1500.3, 20.7, 0, 0, false),
      cursor(1510.300048828125, 10.700000762939453, 3, 3, false)}}, // float(first) + 10, - 10
    {"playback consumes mouse motion",
     {cursor(960, 540, 0, 0, true), cursor(1460, 240, 0, 0, true), key(GLFW_KEY_SPACE, press, 0, 0, false, true),
      cursor(1470, 240, 3, 0, false)}},
    {"only presses toggle playback",
     {key(GLFW_KEY_SPACE, press, 0, 0, false, true), key(GLFW_KEY_SPACE, repeat, 0, 0, false, true),
      key(GLFW_KEY_SPACE, release, 0, 0, false, true), key(GLFW_KEY_SPACE, press, 0, 0, true, true)}},
    {"only presses toggle post-processing",
     {key(GLFW_KEY_F4, press, 0, 0, true, false), key(GLFW_KEY_F4, repeat, 0, 0, true, false),
      key(GLFW_KEY_F4, release, 0, 0, true, false), key(GLFW_KEY_F4, press, 0, 0, true, true)}},
    {"unbound keys and F3 without a shadow map change nothing",
     {key(GLFW_KEY_Q, press, 0, 0, true, true), key(GLFW_KEY_F3, press, 0, 0, true, true)}},
    {"wheel dollies in both modes, horizontal offset ignored",
     {wheel(1.5, true, -3.5f), key(GLFW_KEY_SPACE, press, 0, 0, false, true, -3.5f), wheel(-0.5, false, -4.0f)}},
};

void PrintTo(const InputCase& c, std::ostream* out) { *out << c.rule; }

class Input : public testing::TestWithParam<InputCase> {
protected:
    void SetUp() override
    {
        resetGlobals();
        dir.write("path.txt", "$path eye 10\ndegree 0 1\nduration 1 2\ntransfer 0 0\nposition0 3 0,0,-5\nposition1 3 0,0,-1\n");
        testing::internal::CaptureStdout();
        camera = std::make_unique<Camera>(glm::vec3(0, 0, -5), glm::vec3(0, 0, 1), glm::vec3(0, 1, 0), dir.file("path.txt"));
        testing::internal::GetCapturedStdout();
    }
    void TearDown() override { resetGlobals(); }
    TempDir dir;
};

TEST_P(Input, Table)
{
    int index = 0;
    for (const Step& step : GetParam().steps) {
        if (step.kind == Step::Key)
            keyCallback(nullptr, int(step.a), 0, int(step.b), 0);
        else if (step.kind == Step::Cursor)
            cursorPosCallback(nullptr, step.a, step.b);
        else
            scrollCallback(nullptr, 7.0, step.a);
        const std::string where = GetParam().rule + std::string(", step ") + std::to_string(index++);
        // Exact: a turn of 1e-5 degrees is a fault, not rounding.
        EXPECT_EQ(camera->getYaw(), step.yaw) << where;
        EXPECT_EQ(camera->getPitch(), step.pitch) << where;
        EXPECT_EQ(camera->isAnimated(), step.animated) << where;
        EXPECT_EQ(postProcessingEnabled, step.postProcessing) << where;
        EXPECT_EQ(camera->getPosition(), glm::vec3(0, 0, step.eyeZ)) << where;
    }
}

INSTANTIATE_TEST_SUITE_P(Callbacks, Input, testing::ValuesIn(inputCases));

TEST_F(Input, BackspaceRestartsThePathOnEveryPressInBothModes)
{
    camera->updateAnimation(1.5f);
    testing::internal::CaptureStdout();
    keyCallback(nullptr, GLFW_KEY_BACKSPACE, 0, press, 0);
    keyCallback(nullptr, GLFW_KEY_BACKSPACE, 0, repeat, 0);
    keyCallback(nullptr, GLFW_KEY_SPACE, 0, press, 0);
    keyCallback(nullptr, GLFW_KEY_BACKSPACE, 0, press, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Resetting animation\nResetting animation\n");
    keyCallback(nullptr, GLFW_KEY_SPACE, 0, press, 0);
    camera->updateAnimation(0.25f);
    EXPECT_NEAR(camera->getPosition().z, -4.5f, 1e-6f);
}

} // namespace
