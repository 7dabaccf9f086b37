#include "camera/Camera.h"

#include "CoutCapture.h"
#include "ExpectVec3.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace {

// Playback sums Bernstein terms in float: 1e-5 covers its rounding.
constexpr float pathTolerance = 1e-5f;

// One path section: "$path name kind" with its degree, duration, transfer and
// control points position0 ...
std::string section(const std::string& name, int kind, const std::string& duration, int transfer,
                    const std::vector<std::string>& points)
{
    std::string text = "$path " + name + " " + std::to_string(kind) + "\n";
    text += "degree 0 " + std::to_string(static_cast<int>(points.size()) - 1) + "\n";
    text += "duration 1 " + duration + "\n";
    text += "transfer 0 " + std::to_string(transfer) + "\n";
    for (std::size_t i = 0; i < points.size(); ++i)
        text += "position" + std::to_string(i) + " 3 " + points[i] + "\n";
    return text;
}

PathSegment segment(float duration, int transfer, std::vector<glm::vec3> points)
{
    PathSegment result;
    result.duration = duration;
    result.transfer = transfer;
    result.points = std::move(points);
    return result;
}

class PathPlayback : public ::testing::Test {
protected:
    // A camera as start-up makes it, reading `fileText` as its path file.
    std::unique_ptr<Camera> cameraFor(const std::string& fileText)
    {
        dir.write("path.txt", fileText);
        CoutCapture quiet;
        return std::make_unique<Camera>(glm::vec3(0.0f, 0.0f, -5.0f), glm::vec3(0.0f, 0.0f, 1.0f),
                                        glm::vec3(0.0f, 1.0f, 0.0f), path());
    }
    // The message of the exception of type Exception that loading raises.
    template <typename Exception>
    std::string loadFailure(const std::string& fileText)
    {
        try {
            cameraFor(fileText);
        } catch (const Exception& error) {
            return error.what();
        }
        ADD_FAILURE() << "no exception raised";
        return {};
    }
    std::string path() const { return dir.file("path.txt"); }

    TempDir dir;
};

// --- loading ---------------------------------------------------------------

TEST_F(PathPlayback, SegmentsFollowSectionNameOrderAndKind)
{
    const auto camera = cameraFor(section("eye2", 10, "2", 0, {"2,0,0"}) + section("eye10", 10, "10", 3, {"10,0,0"}) +
                                  section("eye1", 10, "1", 1, {"1,0,0", "1,1,1"}) +
                                  section("look", 11, "4", 7, {"0,0,0", "0,1,0", "0,2,0"}) +
                                  section("eye1", 10, "99", 0, {"9,9,9"}) + // a second eye1 is dropped
                                  section("other", 0, "5", 0, {"5,5,5"}));
    const std::vector<PathSegment>& eye = camera->getPositionTrack();
    ASSERT_EQ(eye.size(), 3u);
    EXPECT_EQ(eye[0].duration, 1.0f); // eye1, eye10, eye2
    EXPECT_EQ(eye[1].duration, 10.0f);
    EXPECT_EQ(eye[2].duration, 2.0f);
    EXPECT_EQ(eye[0].transfer, 1);
    EXPECT_EQ(eye[1].transfer, 3);
    EXPECT_EQ(eye[0].points, (std::vector<glm::vec3>{{1, 0, 0}, {1, 1, 1}}));
    EXPECT_EQ(eye[2].points, (std::vector<glm::vec3>{{2, 0, 0}}));
    ASSERT_EQ(camera->getTargetTrack().size(), 1u);
    EXPECT_EQ(camera->getTargetTrack()[0].transfer, 7);
    EXPECT_EQ(camera->getTargetTrack()[0].points.size(), 3u);
}

TEST_F(PathPlayback, MissingPointsDurationAndNegativeDegree)
{
    const auto camera = cameraFor("$p a 10\ndegree 0 2\ntransfer 0 0\nposition0 3 1,1,1\nposition2 3 2,2,2\n"
                                  "$p b 10\ndegree 0 -1\ntransfer 0 0\nduration 1 1\n");
    const std::vector<PathSegment>& eye = camera->getPositionTrack();
    ASSERT_EQ(eye.size(), 2u);
    EXPECT_EQ(eye[0].duration, 0.0f);
    EXPECT_EQ(eye[0].points, (std::vector<glm::vec3>{{1, 1, 1}, {0, 0, 0}, {2, 2, 2}}));
    EXPECT_TRUE(eye[1].points.empty());

    // The zero-length segment is passed, and a segment without points puts the eye at the origin.
    camera->updateAnimation(0.5f);
    EXPECT_EQ(camera->getPosition(), glm::vec3(0.0f));
}

TEST_F(PathPlayback, MissingFileGivesEmptyTracks)
{
    CoutCapture capture;
    const Camera camera(glm::vec3(0.0f, 0.0f, -5.0f), glm::vec3(0.0f, 0.0f, 1.0f), glm::vec3(0.0f, 1.0f, 0.0f),
                        dir.file("absent.txt"));
    EXPECT_EQ(capture.text(), "Unable to open file");
    EXPECT_TRUE(camera.getPositionTrack().empty());
    EXPECT_TRUE(camera.getTargetTrack().empty());
}

TEST_F(PathPlayback, SectionsWithoutNumericDegreeOrTransferNameFileSectionAndKey)
{
    EXPECT_EQ(loadFailure<std::invalid_argument>("$path eye1 10\nduration 1 2\ntransfer 0 0\n"),
              path() + ": section 'eye1' key 'degree' is missing; a number is required");
    EXPECT_EQ(loadFailure<std::invalid_argument>("$path eye1 10\ndegree 0 1\ntransfer 0 abc\n"),
              path() + ": section 'eye1' key 'transfer': 'abc' is not a number");
    // Any kind must hold them, and so must the nameless section of an empty file.
    EXPECT_EQ(loadFailure<std::invalid_argument>("$path note 3\ndegree 0 1\n"),
              path() + ": section 'note' key 'transfer' is missing; a number is required");
    EXPECT_EQ(loadFailure<std::invalid_argument>(""),
              path() + ": section '' key 'degree' is missing; a number is required");
    EXPECT_EQ(loadFailure<std::out_of_range>("$path eye1 10\ndegree 0 99999999999\ntransfer 0 0\n"),
              path() + ": section 'eye1' key 'degree': '99999999999' is out of range");
    EXPECT_EQ(loadFailure<std::invalid_argument>("$path eye1 10\ndegree 0 1\ntransfer 0 0\nposition0 3 1,x,2\n"),
              path() + ": section 'eye1' key 'position0': part 2 of '1,x,2': 'x' is not a number");
    // Reader errors already carry the file and line; no second prefix.
    EXPECT_EQ(loadFailure<std::invalid_argument>("$path eye1 10\ndegree one 1\n"),
              path() + ":2: type code 'one' is not a number");
}

TEST_F(PathPlayback, AbsurdDegreesAreRejectedBeforeAllocating)
{
    EXPECT_EQ(loadFailure<std::out_of_range>("$path eye1 10\ndegree 0 2000000000\ntransfer 0 0\n"),
              path() + ": section 'eye1' key 'degree': '2000000000' is above the largest degree 4096");
    // The same degree in an ignored kind is read but never used.
    EXPECT_NO_THROW(cameraFor("$path eye1 3\ndegree 0 2000000000\ntransfer 0 0\n"));
}

// --- playback --------------------------------------------------------------

TEST_F(PathPlayback, LinearAndEasedSegmentsReachTheMiddleAfterOneSecond)
{
    const auto linear = cameraFor(section("eye1", 10, "2.0", 0, {"0,0,-5", "0,0,-2"}));
    linear->updateAnimation(1.0f);
    expectNear(linear->getPosition(), glm::vec3(0.0f, 0.0f, -3.5f), pathTolerance);

    const auto eased = cameraFor(section("eye1", 10, "2.0", 1, {"0,0,-5", "0,0,-2"}));
    eased->updateAnimation(0.5f);
    const double quarter = -5.0 + 3.0 * (0.5 - 0.5 * std::cos(M_PI / 4.0));
    EXPECT_NEAR(eased->getPosition().z, quarter, 1e-5);
    EXPECT_NEAR(eased->getPosition().z, -4.561, 1e-3);
    eased->updateAnimation(0.5f);
    expectNear(eased->getPosition(), glm::vec3(0.0f, 0.0f, -3.5f), pathTolerance);
    // The eye moves along +z with an empty target track: it faces the origin.
    expectNear(eased->getFront(), glm::vec3(0.0f, 0.0f, 1.0f), pathTolerance);
}

TEST_F(PathPlayback, EasingCurves)
{
    const std::vector<glm::vec3> unit{{0, 0, 0}, {1, 0, 0}};
    EXPECT_NEAR(Camera::segmentPoint(segment(1.0f, 2, unit), 0.5).x, 1.0 - std::cos(M_PI / 4.0), 1e-6);
    EXPECT_NEAR(Camera::segmentPoint(segment(1.0f, 3, unit), 0.5).x, std::sin(M_PI / 4.0), 1e-6);
    EXPECT_NEAR(Camera::segmentPoint(segment(1.0f, 1, unit), 0.25).x, 0.5 - 0.5 * std::cos(M_PI / 4.0), 1e-6);
    EXPECT_EQ(Camera::segmentPoint(segment(1.0f, 7, unit), 0.25).x, 0.25f); // unknown codes are linear
    // Ease in starts slowly, ease out starts fast; both end on the last point.
    EXPECT_LT(Camera::segmentPoint(segment(1.0f, 2, unit), 0.1).x, 0.05f);
    EXPECT_GT(Camera::segmentPoint(segment(1.0f, 3, unit), 0.1).x, 0.15f);
    // (Within the float pi's error: cos(pi/2) is not exactly 0.)
    for (int transfer = 0; transfer < 4; ++transfer) {
        EXPECT_NEAR(Camera::segmentPoint(segment(1.0f, transfer, unit), 0.0).x, 0.0f, 1e-7f) << "transfer " << transfer;
        EXPECT_NEAR(Camera::segmentPoint(segment(1.0f, transfer, unit), 1.0).x, 1.0f, 1e-7f) << "transfer " << transfer;
    }
}

TEST_F(PathPlayback, DegreeTwoMidpoint)
{
    const PathSegment curve = segment(2.0f, 0, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
    EXPECT_EQ(Camera::segmentPoint(curve, 1.0), glm::vec3(1.0f, 0.0f, 0.0f));
    const PathSegment bent = segment(1.0f, 0, {{0, 0, 0}, {1, 2, 0}, {2, 0, 0}});
    expectNear(Camera::segmentPoint(bent, 0.5), glm::vec3(1.0f, 1.0f, 0.0f), pathTolerance); // half way to the middle point
}

TEST_F(PathPlayback, ClockEqualToTheDurationStaysInTheSegment)
{
    const auto camera = cameraFor(section("a", 10, "2", 0, {"0,0,-5", "0,0,-2"}) +
                                  section("b", 10, "1", 0, {"10,0,0", "20,0,0"}));
    camera->updateAnimation(2.0f);
    EXPECT_EQ(camera->getPosition(), glm::vec3(0.0f, 0.0f, -2.0f));
    camera->updateAnimation(0.5f);
    expectNear(camera->getPosition(), glm::vec3(15.0f, 0.0f, 0.0f), pathTolerance);
}

TEST_F(PathPlayback, ExcessTimeCarriesOverSeveralShortSegments)
{
    const auto camera = cameraFor(section("a", 10, "0.25", 0, {"100,0,0", "100,1,0"}) +
                                  section("b", 10, "0.25", 0, {"200,0,0", "200,1,0"}) +
                                  section("c", 10, "0", 0, {"300,0,0", "300,1,0"}) +
                                  section("d", 10, "1", 0, {"0,0,0", "4,0,0"}));
    camera->updateAnimation(1.0f);
    expectNear(camera->getPosition(), glm::vec3(2.0f, 0.0f, 0.0f), pathTolerance);
}

TEST_F(PathPlayback, TracksFinishOnTheirOwnAndHoldTheirLastFrame)
{
    const auto camera = cameraFor(section("eye", 10, "1", 0, {"0,0,-5", "0,0,-1"}) +
                                  section("look1", 11, "1", 0, {"0,0,0", "1,0,0"}) +
                                  section("look2", 11, "1", 0, {"1,0,0", "1,2,0"}));
    camera->updateAnimation(0.75f);
    expectNear(camera->getPosition(), glm::vec3(0.0f, 0.0f, -2.0f), pathTolerance);
    expectNear(camera->getTarget(), glm::vec3(0.75f, 0.0f, 0.0f), pathTolerance);
    camera->updateAnimation(0.75f);
    // The eye track is over: it keeps -2, it does not snap to its end point.
    expectNear(camera->getPosition(), glm::vec3(0.0f, 0.0f, -2.0f), pathTolerance);
    expectNear(camera->getTarget(), glm::vec3(1.0f, 1.0f, 0.0f), pathTolerance);
    expectNear(camera->getFront(), glm::normalize(glm::vec3(1.0f, 1.0f, 2.0f)), pathTolerance);

    // With both tracks over the wheel still moves the eye, which keeps facing the target.
    camera->updateAnimation(5.0f);
    camera->dolly(1.0f);
    camera->updateAnimation(0.1f);
    expectNear(camera->getPosition(), glm::vec3(0.0f, 0.0f, -2.0f) + glm::normalize(glm::vec3(1.0f, 1.0f, 2.0f)), pathTolerance);
    expectNear(camera->getFront(), glm::normalize(glm::vec3(1.0f, 1.0f, 0.0f) - camera->getPosition()), pathTolerance);
}

TEST_F(PathPlayback, PauseResumeAndRestart)
{
    const auto camera = cameraFor(section("eye", 10, "2", 0, {"0,0,-5", "0,0,-1"}) +
                                  section("look", 11, "2", 0, {"4,0,0", "4,0,0"}));
    camera->updateAnimation(0.5f);
    expectNear(camera->getPosition(), glm::vec3(0.0f, 0.0f, -4.0f), pathTolerance);

    camera->toggleAnimation();
    camera->updateAnimation(1.0f); // free flight: the clocks stand still
    camera->rotate(0.0f, 0.0f);    // rebuilt from yaw 0, pitch 0, not from the path's aim
    EXPECT_EQ(camera->getFront(), glm::vec3(0.0f, 0.0f, 1.0f));
    camera->move(Down, 1.0f);
    camera->toggleAnimation();
    camera->updateAnimation(0.0f); // back onto the path at the same moment
    expectNear(camera->getPosition(), glm::vec3(0.0f, 0.0f, -4.0f), pathTolerance);
    expectNear(camera->getFront(), glm::normalize(glm::vec3(1.0f, 0.0f, 1.0f)), pathTolerance);

    CoutCapture capture;
    camera->resetAnimation();
    EXPECT_EQ(capture.text(), "Resetting animation\n");
    expectNear(camera->getPosition(), glm::vec3(0.0f, 0.0f, -4.0f), pathTolerance); // reset moves nothing by itself
    camera->updateAnimation(0.25f);
    expectNear(camera->getPosition(), glm::vec3(0.0f, 0.0f, -4.5f), pathTolerance);
}

TEST_F(PathPlayback, ZeroDurationSegmentAtClockZeroGivesItsEndPoint)
{
    const PathSegment instant = segment(0.0f, 1, {{1, 2, 3}, {4, 5, 6}});
    EXPECT_EQ(Camera::segmentPoint(instant, 0.0), glm::vec3(4.0f, 5.0f, 6.0f));

    const auto camera = cameraFor(section("eye", 10, "0", 0, {"1,2,3", "4,5,6"}));
    camera->updateAnimation(0.0f);
    EXPECT_EQ(camera->getPosition(), glm::vec3(4.0f, 5.0f, 6.0f));
}

TEST_F(PathPlayback, DegenerateAimKeepsThePreviousDirections)
{
    // The eye waits beside the target, then straight below it, then on it.
    const auto camera = cameraFor(section("eye1", 10, "1", 0, {"0,0,-5"}) + section("eye2", 10, "1", 0, {"5,-5,-5"}) +
                                  section("eye3", 10, "1", 0, {"5,0,-5"}) +
                                  section("look", 11, "10", 0, {"5,0,-5"}));
    camera->updateAnimation(0.5f);
    const glm::vec3 front = camera->getFront();
    const glm::vec3 right = camera->getRight();
    const glm::vec3 up = camera->getUp();
    expectNear(front, glm::vec3(1.0f, 0.0f, 0.0f), pathTolerance);
    for (int step = 0; step < 2; ++step) {
        camera->updateAnimation(1.0f);
        EXPECT_EQ(camera->getFront(), front);
        EXPECT_EQ(camera->getRight(), right);
        EXPECT_EQ(camera->getUp(), up);
    }
    EXPECT_EQ(camera->getPosition(), glm::vec3(5.0f, 0.0f, -5.0f));
    const glm::mat4 view = camera->getViewMatrix();
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_TRUE(std::isfinite(view[c][r]));
}

// --- Bernstein coefficients --------------------------------------------------

TEST(Bernstein, UpToDegree12MatchesTheFloatFormulaBitForBit)
{
    // Binomials from Pascal's triangle: exact, and equal to the 32-bit
    // factorial quotient for these degrees.
    float binomial[13][13] = {};
    for (int n = 0; n <= 12; ++n) {
        binomial[n][0] = binomial[n][n] = 1.0f;
        for (int i = 1; i < n; ++i)
            binomial[n][i] = binomial[n - 1][i - 1] + binomial[n - 1][i];
    }
    for (const float u : {0.0f, 0.1f, 0.3333333f, 0.5f, 0.77f, 1.0f})
        for (unsigned n = 0; n <= 12; ++n)
            for (unsigned i = 0; i <= n; ++i) {
                const float expected = binomial[n][i] * std::pow(u, static_cast<float>(i)) *
                                       std::pow(1.0f - u, static_cast<float>(n - i));
                EXPECT_EQ(Camera::bernstein(n, i, u), expected) << "n " << n << " i " << i << " u " << u;
            }
}

TEST(Bernstein, HighDegreesSumToOne)
{
    for (const unsigned n : {13u, 20u, 34u, 67u, 68u, 200u, 4096u})
        for (const float u : {0.0f, 0.3f, 0.5f, 0.99f, 1.0f}) {
            double sum = 0.0;
            for (unsigned i = 0; i <= n; ++i) {
                const float b = Camera::bernstein(n, i, u);
                ASSERT_TRUE(std::isfinite(b)) << "n " << n << " i " << i << " u " << u;
                sum += b;
            }
            EXPECT_NEAR(sum, 1.0, 1e-5) << "n " << n << " u " << u;
        }
    // C(20, 10) = 184756; b(20, 10, 0.5) = 184756 / 2^20.
    EXPECT_FLOAT_EQ(Camera::bernstein(20, 10, 0.5f), 184756.0f / 1048576.0f);
}

TEST_F(PathPlayback, Degree13And20CurvesInterpolateTheirEndsAndStayStraight)
{
    for (const int degree : {13, 20}) {
        // Evenly spaced points on a line: the curve is that line, traversed linearly.
        std::vector<std::string> points;
        for (int i = 0; i <= degree; ++i)
            points.push_back(std::to_string(i) + "," + std::to_string(2 * i) + ",-" + std::to_string(i));
        const auto camera = cameraFor(section("eye", 10, "4", 0, points));
        const PathSegment& curve = camera->getPositionTrack().at(0);
        ASSERT_EQ(curve.points.size(), static_cast<std::size_t>(degree + 1));
        const glm::vec3 end(static_cast<float>(degree), 2.0f * degree, -static_cast<float>(degree));
        EXPECT_EQ(Camera::segmentPoint(curve, 0.0), glm::vec3(0.0f)) << "degree " << degree;
        EXPECT_EQ(Camera::segmentPoint(curve, 4.0), end) << "degree " << degree;
        expectNear(Camera::segmentPoint(curve, 1.0), end * 0.25f, 1e-4f);
        expectNear(Camera::segmentPoint(curve, 2.0), end * 0.5f, 1e-4f);
        camera->updateAnimation(3.0f);
        expectNear(camera->getPosition(), end * 0.75f, 1e-4f);
    }
}

} // namespace
