#include "app/Globals.h"
#include "app/Viewer.h"

#include <gtest/gtest.h>

#include <cmath>

// The camera projection, element by element: perspective(45 degrees,
// 1920/1080, 0.1, 200), right-handed, clip depth -1..1.
TEST(Projection, MatchesTheTableToFloatPrecision)
{
    const glm::mat4 p = Viewer::makeProjection(1920, 1080);
    const float t = std::tan(static_cast<float>(M_PI / 8.0));
    const float aspect = 1920.0f / 1080.0f;
    EXPECT_FLOAT_EQ(p[0][0], 1.0f / (t * aspect));
    EXPECT_FLOAT_EQ(p[1][1], 1.0f / t);
    EXPECT_FLOAT_EQ(p[2][2], -1.0010005f);
    EXPECT_FLOAT_EQ(p[2][3], -1.0f);
    EXPECT_FLOAT_EQ(p[3][2], -0.20010005f);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            const bool nonZero = (c == r && c < 3) || (c == 2 && r == 3) || (c == 3 && r == 2);
            if (!nonZero) {
                EXPECT_EQ(p[c][r], 0.0f) << "element [" << c << "][" << r << "]";
            }
        }
    const glm::mat4 product = p * glm::inverse(p);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_NEAR(product[c][r], c == r ? 1.0f : 0.0f, 1e-5f);
}

TEST(Globals, StartAtTheirInitialValues)
{
    postProcessingEnabled = false;
    firstMouse = false;
    lastX = 3.0f;
    deltaTime = 1.0f;
    resetGlobals();
    EXPECT_EQ(screenWidth, 1920);
    EXPECT_EQ(screenHeight, 1080);
    EXPECT_FLOAT_EQ(scaleFactor, 0.2f);
    EXPECT_TRUE(postProcessingEnabled);
    EXPECT_TRUE(firstMouse);
    EXPECT_FLOAT_EQ(lastX, 960.0f);
    EXPECT_FLOAT_EQ(lastY, 540.0f);
    EXPECT_EQ(deltaTime, 0.0f);
    EXPECT_EQ(lastFrame, 0.0f);
    EXPECT_EQ(camera, nullptr);
    EXPECT_EQ(shadowMap, nullptr);
}
