#include "effects/ShadowMap.h"

#include <gtest/gtest.h>

#include <glm/gtc/matrix_transform.hpp>

#include <cmath>

// The first spot light's view for the shadow map (no OpenGL involved).
namespace {

SpotLight spot(const glm::vec3& position, const glm::vec3& direction)
{
    SpotLight light;
    light.position = position;
    light.direction = direction;
    return light;
}

// The light's view as designed: up = cross(x axis, direction).
glm::mat4 designedView(const SpotLight& light)
{
    const glm::vec3 d = glm::normalize(light.direction);
    return glm::lookAt(light.position, light.position + d, glm::cross(glm::vec3(1.0f, 0.0f, 0.0f), d));
}

} // namespace

TEST(ShadowLightView, IsLookAtWithCrossOfXAxisAndDirectionAsUp)
{
    const glm::vec3 directions[] = {{0, -1, 0}, {-4, -8, 0}, {1, -1, 0.5f}, {0, 0, 1}, {0.3f, 2, -7}, {1, 1e-3f, 0}};
    for (const glm::vec3& direction : directions) {
        const SpotLight light = spot(glm::vec3(3, 7, -2), direction);
        // Bit for bit: every usable direction keeps the designed matrix.
        EXPECT_EQ(ShadowMap::lightView(light), designedView(light))
            << direction.x << "," << direction.y << "," << direction.z;
    }
}

TEST(ShadowLightView, AlongXAxisOrWithoutDirectionIsStillARotationLookingThatWay)
{
    const glm::vec3 eye(3, 7, -2);
    struct Case {
        glm::vec3 direction;
        glm::vec3 looksAlong;
    };
    const Case cases[] = {{{1, 0, 0}, {1, 0, 0}},         {{-5, 0, 0}, {-1, 0, 0}},
                          {{1e-30f, 0, 0}, {1, 0, 0}},   {{1, 1e-30f, 0}, {1, 0, 0}},
                          {{0, 0, 0}, {0, 0, -1}}};
    for (const Case& c : cases) {
        const glm::mat4 view = ShadowMap::lightView(spot(eye, c.direction));
        SCOPED_TRACE(testing::Message() << c.direction.x << "," << c.direction.y << "," << c.direction.z);
        for (int col = 0; col < 4; ++col)
            for (int row = 0; row < 4; ++row)
                ASSERT_TRUE(std::isfinite(view[col][row]));
        // The eye goes to the origin and the direction to -z of view space.
        EXPECT_LT(glm::length(glm::vec3(view * glm::vec4(eye, 1.0f))), 1e-5f);
        const glm::vec3 forward = glm::vec3(view * glm::vec4(c.looksAlong, 0.0f));
        EXPECT_LT(glm::length(forward - glm::vec3(0, 0, -1)), 1e-5f);
        // A rotation (orthonormal, no mirror), keeping the world's y axis up.
        const glm::mat3 r(view);
        const glm::mat3 product = r * glm::transpose(r);
        for (int col = 0; col < 3; ++col)
            for (int row = 0; row < 3; ++row)
                EXPECT_NEAR(product[col][row], col == row ? 1.0f : 0.0f, 1e-5f);
        EXPECT_NEAR(glm::determinant(r), 1.0f, 1e-5f);
        EXPECT_NEAR((r * glm::vec3(0, 1, 0)).y, 1.0f, 1e-5f);
    }
}
