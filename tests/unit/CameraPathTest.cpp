#include "camera/Camera.h"

#include "TempDir.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <memory>
#include <stdexcept>

// The camera path file, its playback and free flight.
namespace {

// Playback sums Bernstein terms in float: 1e-4 covers the rounding to degree 20.
constexpr float tolerance = 1e-4f;

void expectNear(const glm::vec3& actual, const glm::vec3& expected, const std::string& where)
{
    EXPECT_LT(glm::length(actual - expected), tolerance)
        << where << ": (" << actual.x << ", " << actual.y << ", " << actual.z << ")";
}

// "$path name kind" with degree, duration, transfer and control points.
std::string section(const std::string& name, int kind, const std::string& duration, int transfer,
                    const std::vector<std::string>& points)
{
    std::string text = "$path " + name + " " + std::to_string(kind) + "\ndegree 0 " +
                       std::to_string(static_cast<int>(points.size()) - 1) + "\nduration 1 " + duration +
                       "\ntransfer 0 " + std::to_string(transfer) + "\n";
    for (std::size_t i = 0; i < points.size(); ++i)
        text += "position" + std::to_string(i) + " 3 " + points[i] + "\n";
    return text;
}

// A camera as start-up makes it, reading `text` as its path file.
std::unique_ptr<Camera> cameraFor(const TempDir& dir, const std::string& text)
{
    dir.write("path.txt", text);
    struct Quiet { // the reader echoes every line
        Quiet() { std::cout.setstate(std::ios::failbit); }
        ~Quiet() { std::cout.clear(); }
    } quiet;
    return std::make_unique<Camera>(glm::vec3(0, 0, -5), glm::vec3(0, 0, 1), glm::vec3(0, 1, 0), dir.file("path.txt"));
}

std::string degree20Line()
{
    std::vector<std::string> points;
    for (int i = 0; i <= 20; ++i)
        points.push_back(std::to_string(i) + ",0,0");
    return section("eye", 10, "4", 0, points);
}

// Playback: after each step of `steps` seconds the eye is at `eye`.
struct PlaybackCase {
    const char* rule;
    std::string file;
    std::vector<std::pair<float, glm::vec3>> steps;
};

const double quarterEase = 0.5 - 0.5 * std::cos(M_PI / 4.0);

std::vector<PlaybackCase> playbackCases()
{
    const std::string line = "0,0,-5";
    return {
        {"linear", section("e", 10, "2", 0, {line, "0,0,-2"}), {{1.0f, {0, 0, -3.5f}}}},
        {"ease in and out", section("e", 10, "2", 1, {line, "0,0,-2"}),
         {{0.5f, {0, 0, static_cast<float>(-5.0 + 3.0 * quarterEase)}}, {0.5f, {0, 0, -3.5f}}}},
        {"ease in", section("e", 10, "1", 2, {"0,0,0", "1,0,0"}), {{0.5f, {1.0f - std::cos(0.25f * float(M_PI)), 0, 0}}}},
        {"ease out", section("e", 10, "1", 3, {"0,0,0", "1,0,0"}), {{0.5f, {std::sin(0.25f * float(M_PI)), 0, 0}}}},
        {"unknown transfer is linear", section("e", 10, "1", 7, {"0,0,0", "1,0,0"}), {{0.25f, {0.25f, 0, 0}}}},
        {"degree two", section("e", 10, "1", 0, {"0,0,0", "1,2,0", "2,0,0"}), {{0.5f, {1, 1, 0}}, {0.25f, {1.5f, 0.75f, 0}}}},
        {"degree twenty stays on its line", degree20Line(), {{1.0f, {5, 0, 0}}, {2.0f, {15, 0, 0}}}},
        {"clock equal to the duration stays", section("a", 10, "2", 0, {line, "0,0,-2"}) + section("b", 10, "1", 0, {"10,0,0", "20,0,0"}),
         {{2.0f, {0, 0, -2}}, {0.5f, {15, 0, 0}}}},
        {"excess time crosses short segments",
         section("a", 10, "0.25", 0, {"100,0,0", "100,1,0"}) + section("b", 10, "0.25", 0, {"200,0,0", "200,1,0"}) +
             section("c", 10, "0", 0, {"300,0,0", "300,1,0"}) + section("d", 10, "1", 0, {"0,0,0", "4,0,0"}),
         {{1.0f, {2, 0, 0}}}},
        {"segments in name order, other kinds ignored",
         section("eye2", 10, "1", 0, {"2,0,0", "2,0,0"}) + section("eye10", 10, "1", 0, {"10,0,0", "10,0,0"}) +
             section("eye1", 10, "1", 0, {"1,0,0", "1,0,0"}) + section("other", 0, "1", 0, {"9,9,9"}),
         {{0.5f, {1, 0, 0}}, {1.0f, {10, 0, 0}}, {1.0f, {2, 0, 0}}}},
        {"finished track holds its last frame", section("e", 10, "1", 0, {line, "0,0,-1"}),
         {{0.75f, {0, 0, -2}}, {0.75f, {0, 0, -2}}}},
        {"zero-length segment gives its end point", section("e", 10, "0", 1, {"1,2,3", "4,5,6"}), {{0.0f, {4, 5, 6}}}},
        {"missing points are the origin", "$p a 10\ndegree 0 2\ntransfer 0 0\nduration 1 2\nposition0 3 2,2,2\n",
         {{1.0f, {0.5f, 0.5f, 0.5f}}}},
        {"no tracks: the eye stays", "", {{0.5f, {0, 0, -5}}}},
    };
}

void PrintTo(const PlaybackCase& c, std::ostream* out) { *out << c.rule; }

class Playback : public testing::TestWithParam<PlaybackCase> {};

TEST_P(Playback, MovesTheEye)
{
    TempDir dir;
    const PlaybackCase& c = GetParam();
    const auto camera = cameraFor(dir, c.file.empty() ? "$x y 0\ndegree 0 0\ntransfer 0 0\n" : c.file);
    int step = 0;
    for (const auto& [seconds, eye] : c.steps) {
        camera->updateAnimation(seconds);
        expectNear(camera->getPosition(), eye, std::string(c.rule) + ", step " + std::to_string(step++));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Playback, testing::ValuesIn(playbackCases()));

// A path file the camera cannot play is refused with the file's name
// before the reader's message; a kind that is no track is never checked.
TEST(PathFile, FailuresNameTheFileAndIgnoredKindsAreNotChecked)
{
    TempDir dir;
    const std::string prefix = dir.file("path.txt") + ": section 'e' key 'degree': ";
    try {
        cameraFor(dir, "$path e 10\ndegree 0 2000000000\ntransfer 0 0\n");
        ADD_FAILURE() << "an absurd degree was accepted";
    } catch (const std::out_of_range& error) {
        EXPECT_EQ(error.what(), prefix + "'2000000000' is above the largest degree 4096");
    }
    EXPECT_THROW(cameraFor(dir, "$path e 10\ndegree 0 1\ntransfer 0 abc\n"), std::invalid_argument);
    EXPECT_NO_THROW(cameraFor(dir, "$path eye1 3\ndegree 0 2000000000\ntransfer 0 0\n"));
}

TEST(PathPlayback, TargetTrackAimsTheViewAndPauseResetResume)
{
    TempDir dir;
    const auto camera = cameraFor(dir, section("eye", 10, "2", 0, {"0,0,-5", "0,0,-1"}) +
                                           section("look1", 11, "1", 0, {"4,0,0", "4,0,0"}) +
                                           section("look2", 11, "1", 0, {"4,0,0", "4,4,0"}));
    camera->updateAnimation(0.5f);
    expectNear(camera->getFront(), glm::normalize(glm::vec3(4, 0, 4)), "aimed at the target");
    camera->toggleAnimation();
    camera->updateAnimation(1.0f); // free flight: the clocks stand still
    camera->toggleAnimation();
    camera->updateAnimation(0.0f);
    expectNear(camera->getPosition(), glm::vec3(0, 0, -4), "resumed where it paused");
    camera->updateAnimation(1.0f);
    expectNear(camera->getTarget(), glm::vec3(4, 2, 0), "second target segment");
    camera->resetAnimation(); // Backspace's message is checked with the input callbacks
    camera->updateAnimation(0.25f);
    expectNear(camera->getTarget(), glm::vec3(4, 0, 0), "target restarted");
}

// Free flight from the start-up camera (no path file).
class FreeFlight : public testing::Test {
protected:
    void SetUp() override
    {
        camera = cameraFor(dir, "$x y 0\ndegree 0 0\ntransfer 0 0\n");
        camera->toggleAnimation();
    }
    TempDir dir;
    std::unique_ptr<Camera> camera;
};

TEST_F(FreeFlight, KeysMoveInTheScreenPlaneOnlyInFreeFlight)
{
    const struct {
        CameraMovement direction;
        float seconds;
        glm::vec3 eye;
    } moves[] = {{Down, 1.0f, {0, -2.5f, -5}}, {Right, 0.4f, {-1, -2.5f, -5}}, {Left, 0.4f, {0, -2.5f, -5}},
                 {Up, 1.0f, {0, 0, -5}}};
    for (const auto& m : moves) {
        camera->move(m.direction, m.seconds);
        expectNear(camera->getPosition(), m.eye, "move " + std::to_string(m.direction));
    }
    camera->toggleAnimation(); // the wheel and the mouse are checked with the input callbacks
    camera->move(Down, 1.0f);
    expectNear(camera->getPosition(), glm::vec3(0, 0, -5), "playback");
}

TEST_F(FreeFlight, MouseTurnsByPointThreeDegreesPerPixelAndPitchStopsAt89)
{
    camera->rotate(100.0f, 50.0f);
    EXPECT_EQ(camera->getYaw(), 30.0f);
    EXPECT_EQ(camera->getPitch(), 15.0f);
    const double y = glm::radians(30.0), p = glm::radians(15.0);
    // Mouse right turns to the screen's right (-x), mouse up turns up.
    expectNear(camera->getFront(), glm::vec3(-std::cos(p) * std::sin(y), std::sin(p), std::cos(p) * std::cos(y)), "front");
    EXPECT_NEAR(camera->getRight().y, 0.0f, 1e-6f);
    const glm::mat4 expected = glm::lookAt(camera->getPosition(), camera->getPosition() + camera->getFront(), camera->getUp());
    EXPECT_EQ(camera->getViewMatrix(), expected);

    camera->rotate(0.0f, 1000.0f);
    EXPECT_EQ(camera->getPitch(), 89.0f);
    camera->rotate(0.0f, -10.0f);
    EXPECT_EQ(camera->getPitch(), 86.0f);
    camera->rotate(0.0f, -5000.0f);
    EXPECT_EQ(camera->getPitch(), -89.0f);
}

} // namespace
