#pragma once

#include <glm/glm.hpp>
#include <gtest/gtest.h>

// Component-wise EXPECT_NEAR for vectors.
inline void expectNear(const glm::vec3& actual, const glm::vec3& expected, float tolerance = 1e-6f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}
