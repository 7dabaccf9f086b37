#include "GlassFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

// The composite checked against what optics says a glass ball does to the
// scene behind it. The opaque scene is drawn unlit (texels as they are), so
// a backdrop whose texel (x, y) holds red x and green y tells, in every
// window pixel, which point of the backdrop is seen there.
namespace {

const glm::vec3 ballCentre(0.0f, 0.0f, -6.0f);
constexpr float ballRadius = 1.0f;

class CompositeTest : public GlassRigTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(GlassRigTest::SetUp());
        coordinates = makeTexture(256, 256, [](int x, int y) {
            return glm::u8vec3(static_cast<unsigned char>(x), static_cast<unsigned char>(y), 60);
        });
        white = solidTexture({255, 255, 255});
        // The ball's outline: centre pixel and radius in pixels (view axis
        // through its centre, so the outline is a circle).
        centre = rig->pixelOf(ballCentre, view);
        const float distance = glm::length(ballCentre);
        radiusPixels = rig->projection[1][1] * ballRadius / std::sqrt(distance * distance - 1.0f) * size / 2.0f;
    }

    // A backdrop of 6 x 6 units `behind` units beyond the ball's centre.
    std::shared_ptr<Model> backdrop(float behind, GLuint texture) const
    {
        return placeModel(quadMesh({1, 0, 0}, {0, 1, 0}, 3.0f, 3.0f, texture),
                          ballCentre - glm::vec3(0.0f, 0.0f, behind), 0.0f);
    }

    std::shared_ptr<Model> ball(GLuint texture, float transparency, float refraction, float reflection) const
    {
        return placeModel(sphereMesh(ballRadius, texture, 64, 48), ballCentre, transparency, refraction, reflection);
    }

    float fromCentre(int x, int y) const { return glm::length(glm::vec2(x - centre.x, y - centre.y)); }

    // Least-squares slope of channel `c` along the row (c = 0, red) or the
    // column (c = 1, green) through the ball's centre, within `reach`
    // pixels of it: backdrop texels per window pixel.
    double slope(const Image& image, int c, int reach) const
    {
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        int n = 0;
        for (int t = -reach; t <= reach; ++t) {
            // Image rows run downwards, the texture's v upwards.
            const glm::vec3 colour = c == 0 ? image.at(centre.x + t, centre.y) : image.at(centre.x, centre.y - t);
            const double v = colour[c];
            sx += t;
            sy += v;
            sxx += static_cast<double>(t) * t;
            sxy += t * v;
            ++n;
        }
        return (n * sxy - sx * sy) / (n * sxx - sx * sx);
    }

    // Largest channel difference and the count of differing pixels between
    // two images, over the pixels `inside` selects.
    template <typename Select>
    std::pair<int, long> difference(const Image& a, const Image& b, Select inside) const
    {
        int largest = 0;
        long differing = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                if (!inside(x, y))
                    continue;
                const glm::vec3 d = glm::abs(a.at(x, y) - b.at(x, y));
                const int worst = static_cast<int>(std::max({d.r, d.g, d.b}));
                largest = std::max(largest, worst);
                differing += worst > 0;
            }
        return {largest, differing};
    }

    GLuint coordinates = 0;
    GLuint white = 0;
    glm::ivec2 centre{0};
    float radiusPixels = 0.0f;
};

} // namespace

TEST_F(CompositeTest, NeutralGlassIsInvisible)
{
    // Refraction 1 bends nothing, reflection 0 mirrors nothing, a white body
    // of transparency 1 absorbs nothing: the window must show the lit scene.
    Scene scene;
    scene.getModels().push_back(backdrop(3.0f, coordinates));
    scene.getModels().push_back(ball(white, 1.0f, 1.0f, 0.0f));
    Image lit;
    const Image shown = rig->frame(scene, view, &lit);
    keepImage(shown, "shown");
    // Inside the ball the background is looked up again at the point the
    // straight ray meets: rebuilding it from depths in float may shift the
    // lookup by a fraction of a texel, so a channel may move by one step.
    const auto [largest, differing] = difference(shown, lit, [](int, int) { return true; });
    EXPECT_LE(largest, 1);
    EXPECT_LE(differing, static_cast<long>(radiusPixels * radiusPixels * 3.1416f * 0.1f))
        << "at most a tenth of the ball's pixels by one step";
}

TEST_F(CompositeTest, BackdropIsMagnifiedThroughTheBallAndUnchangedAroundIt)
{
    // A weak lens (refraction 0.9, an index of 1.11) has a focal length of
    // 5 radii from its centre. Paraxially, rays from the eye (6 in front)
    // converge towards a point 30 behind it, so at the backdrop (3 behind)
    // a ray is 0.6 times as far off the axis as it would be without the
    // ball: the backdrop shows upright and 1.67 times as large.
    Scene scene;
    scene.getModels().push_back(backdrop(3.0f, coordinates));
    scene.getModels().push_back(ball(white, 1.0f, 0.9f, 0.0f));
    Image lit;
    const Image shown = rig->frame(scene, view, &lit);
    keepImage(shown, "shown");
    ASSERT_GT(radiusPixels, 40.0f);
    const int reach = static_cast<int>(radiusPixels * 0.4f);
    for (int c = 0; c < 2; ++c) {
        const double straight = slope(lit, c, reach);
        const double through = slope(shown, c, reach);
        ASSERT_GT(straight, 0.5) << "the backdrop's coordinates run across the window";
        // Upright (same sign) and magnified; the composite's screen-space
        // model of the ray's path is not paraxial optics, so 1.3 to 2.6.
        EXPECT_GT(through, 0.0) << "channel " << c;
        EXPECT_GT(straight / through, 1.3) << "channel " << c;
        EXPECT_LT(straight / through, 2.6) << "channel " << c;
    }
    // Displaced: half way out, the ball shows a point of the backdrop nearer
    // its centre than the one straight behind.
    const int half = static_cast<int>(radiusPixels * 0.5f);
    EXPECT_LT(shown.at(centre.x + half, centre.y).r, lit.at(centre.x + half, centre.y).r - 4.0f);
    EXPECT_GT(shown.at(centre.x - half, centre.y).r, lit.at(centre.x - half, centre.y).r + 4.0f);

    // Outside the outline (two pixels for the tessellated silhouette) the
    // window is an exact copy of the lit scene: no pixel may differ at all.
    const auto [largest, differing] =
        difference(shown, lit, [&](int x, int y) { return fromCentre(x, y) > radiusPixels + 2.0f; });
    EXPECT_EQ(largest, 0);
    EXPECT_EQ(differing, 0);
}

TEST_F(CompositeTest, RealGlassTurnsTheBackdropUpsideDown)
{
    // Refraction 0.66 (glass, index 1.5): a focal length of 1.5 radii. Rays
    // from the eye (6 in front) converge 2 behind the centre and cross the
    // axis before the backdrop (3 behind): there a ray is -1/3 as far off
    // the axis as without the ball, so the backdrop shows upside down and
    // three times as large.
    Scene scene;
    scene.getModels().push_back(backdrop(3.0f, coordinates));
    scene.getModels().push_back(ball(white, 1.0f, 0.66f, 0.0f));
    Image lit;
    const Image shown = rig->frame(scene, view, &lit);
    keepImage(shown, "shown");
    const int reach = static_cast<int>(radiusPixels * 0.3f);
    for (int c = 0; c < 2; ++c) {
        const double straight = slope(lit, c, reach);
        ASSERT_GT(straight, 0.5);
        // Inverted, within a factor of two of the paraxial -1/3.
        EXPECT_LT(slope(shown, c, reach) / straight, -1.0 / 6.0) << "channel " << c;
        EXPECT_GT(slope(shown, c, reach) / straight, -2.0 / 3.0) << "channel " << c;
    }
}

TEST_F(CompositeTest, OpaqueGeometryInFrontHidesTheGlass)
{
    // An opaque bar across the ball's lower half, nearer than the ball.
    Scene scene;
    scene.getModels().push_back(backdrop(3.0f, coordinates));
    scene.getModels().push_back(ball(white, 1.0f, 0.66f, 0.5f));
    scene.getModels().push_back(placeModel(quadMesh({1, 0, 0}, {0, 1, 0}, 2.0f, 0.25f, solidTexture({90, 200, 90})),
                                           ballCentre + glm::vec3(0.0f, -0.5f, 1.5f), 0.0f));
    Image lit;
    const Image shown = rig->frame(scene, view, &lit);
    keepImage(shown, "shown");
    // Wherever the bar is, the window shows it exactly as lit.
    long barPixels = 0;
    const auto [largest, differing] = difference(shown, lit, [&](int x, int y) {
        const bool bar = lit.at(x, y) == glm::vec3(90, 200, 90);
        barPixels += bar;
        return bar;
    });
    EXPECT_GT(barPixels, 500);
    EXPECT_EQ(largest, 0);
    EXPECT_EQ(differing, 0);
    // And the ball still shows above it.
    EXPECT_GT(difference(shown, lit, [&](int x, int y) { return fromCentre(x, y) < radiusPixels * 0.5f; }).second,
              200);
}

TEST_F(CompositeTest, LowTransparencyShowsTheBodysOwnColourInsteadOfTheBackdrop)
{
    // A striped backdrop (its contrast measures how much of it shows) and a
    // pale red ball lit from the front.
    const GLuint stripes = makeTexture(64, 4, [](int x, int) {
        return (x / 4) % 2 ? glm::u8vec3(250, 250, 250) : glm::u8vec3(20, 20, 20);
    });
    const GLuint paleRed = solidTexture({250, 150, 140});
    const auto render = [&](float transparency) {
        Scene scene;
        scene.getModels().push_back(backdrop(3.0f, stripes));
        scene.getModels().push_back(ball(paleRed, transparency, 0.9f, 0.3f));
        scene.getPointLights().push_back(PointLight{{0.0f, 1.0f, 0.0f}, {2.0f, 2.0f, 2.0f}});
        return rig->frame(scene, view);
    };
    const Image clear = render(1.0f);
    const Image cloudy = render(0.2f);
    keepImage(clear, "clear");
    keepImage(cloudy, "cloudy");
    const std::vector<unsigned char> own = textureRgb(rig->captures->getReflectionRefractionTarget()->getColorTexture(), size);

    // Spread of brightness along the ball's middle row, and closeness to the
    // body's own lit colour, within 60 % of its radius.
    const auto measure = [&](const Image& image, double& spread, double& offOwn) {
        const int reach = static_cast<int>(radiusPixels * 0.6f);
        double sum = 0, sum2 = 0, off = 0;
        for (int t = -reach; t <= reach; ++t) {
            const int x = centre.x + t, y = centre.y;
            const glm::vec3 c = image.at(x, y);
            const double luma = (c.r + c.g + c.b) / 3.0;
            sum += luma;
            sum2 += luma * luma;
            const size_t i = static_cast<size_t>(((size - 1 - y) * size + x) * 3);
            off += std::abs(c.r - own[i]) + std::abs(c.g - own[i + 1]) + std::abs(c.b - own[i + 2]);
        }
        const int n = 2 * reach + 1;
        spread = std::sqrt(std::max(sum2 / n - (sum / n) * (sum / n), 0.0));
        offOwn = off / (3.0 * n);
    };
    double clearSpread = 0, clearOff = 0, cloudySpread = 0, cloudyOff = 0;
    measure(clear, clearSpread, clearOff);
    measure(cloudy, cloudySpread, cloudyOff);
    // Transparency 0.2 keeps a fifth of the backdrop's contrast: well under
    // half of what the clear ball shows.
    EXPECT_GT(clearSpread, 30.0) << "the stripes show through the clear ball";
    EXPECT_LT(cloudySpread, clearSpread * 0.5);
    // And its colour is mostly the body's own.
    EXPECT_LT(cloudyOff, clearOff * 0.5);
    EXPECT_LT(cloudyOff, 25.0);
}

TEST_F(CompositeTest, ReflectionShowsTheFloorAtTheRimAndTheSkyAbove)
{
    // No backdrop, so the scene behind is sky (depth 1, black here); a
    // bright green floor under the ball.
    const auto render = [&](float reflection) {
        Scene scene;
        scene.getModels().push_back(
            placeModel(quadMesh({1, 0, 0}, {0, 0, -1}, 8.0f, 8.0f, solidTexture({40, 230, 40})),
                       ballCentre + glm::vec3(0.0f, -1.6f, 0.0f), 0.0f));
        scene.getModels().push_back(ball(white, 1.0f, 0.66f, reflection));
        return rig->frame(scene, view);
    };
    const Image mirror = render(1.0f);
    const Image plain = render(0.0f);
    keepImage(mirror, "mirror");
    keepImage(plain, "plain");
    const int r = static_cast<int>(radiusPixels);
    // Near the lower rim the mirrored rays head down onto the floor; near
    // the upper rim up into the night sky.
    const glm::vec3 lowerMirror = mirror.mean(centre.x - 6, centre.y + r - 7, centre.x + 6, centre.y + r - 3);
    const glm::vec3 lowerPlain = plain.mean(centre.x - 6, centre.y + r - 7, centre.x + 6, centre.y + r - 3);
    const glm::vec3 upperMirror = mirror.mean(centre.x - 6, centre.y - r + 3, centre.x + 6, centre.y - r + 7);
    const glm::vec3 upperPlain = plain.mean(centre.x - 6, centre.y - r + 3, centre.x + 6, centre.y - r + 7);
    EXPECT_GT(lowerMirror.g - lowerPlain.g, 30.0f) << "the floor, mirrored";
    EXPECT_GT(lowerMirror.g, 2.0f * lowerMirror.r);
    // Schlick's term there is about 0.1 and the night sky dark blue: a few
    // steps of blue that the plain ball lacks.
    EXPECT_GT(upperMirror.b - upperPlain.b, 4.0f) << "the sky, mirrored";
    EXPECT_GT(upperMirror.b, upperMirror.r);
    // Face on, Schlick's term is 4 % for glass: the middle hardly changes.
    const glm::vec3 middle = glm::abs(mirror.mean(centre.x - 4, centre.y - 4, centre.x + 4, centre.y + 4) -
                                      plain.mean(centre.x - 4, centre.y - 4, centre.x + 4, centre.y + 4));
    EXPECT_LT(std::max({middle.r, middle.g, middle.b}), 12.0f);
}
