// What a mesh's material does to its picture: colour sources, normal maps,
// emission, alpha, two-sided faces and the highlight models, in the lit
// pass, the shadow map and the glass captures. The meshes are made here
// with their material set directly (one factory), under the lit-scene
// fixture's camera 12 units above the origin.
#include "LitSceneTest.h"
#include "effects/PostProcFramebuffer.h"
#include "effects/RefractionCaptures.h"
#include "effects/ShadowMap.h"
#include "render/Mesh.h"
#include "render/Model.h"
#include "render/StbTexture.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

float brightness(const glm::vec3& rgb) { return std::max({rgb.r, rgb.g, rgb.b}); }

// A width x height RGBA8 texture of `rgba` (top row first).
GLuint texture(const std::vector<unsigned char>& rgba, int width = 1, int height = 1)
{
    StbTexture texture;
    texture.loadTexture2DFromPixels(width, height, rgba.data());
    return texture.getId();
}

// One test mesh: a square of 2 half x 2 half at height `y`, facing up (its
// front face seen from the camera) or down, u along +x and v along +z (0 to
// 1), with `material`; every corner gets `color` and `tangent` when they are
// set (w of the tangent: the bitangent's sign).
struct Square {
    explicit Square(const Material& material) : material(material) {}
    Material material;
    float half = 4.0f;
    float y = 0.0f;
    bool facingDown = false;
    glm::vec4 color{-1.0f};
    glm::vec4 tangent{0.0f};
    std::vector<Texture> textures;
};

std::shared_ptr<Model> makeModel(const Square& s)
{
    std::vector<Vertex> vertices;
    VertexExtras extras;
    const float corners[4][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};
    for (const auto& c : corners) {
        const glm::vec3 normal(0, s.facingDown ? -1 : 1, 0);
        vertices.push_back({glm::vec3(c[0] * s.half, s.y, c[1] * s.half), normal,
                            glm::vec2((c[0] + 1) / 2, (c[1] + 1) / 2)});
        if (s.color.r >= 0.0f)
            extras.colors.push_back(s.color);
        if (s.tangent != glm::vec4(0.0f))
            extras.tangents.push_back(s.tangent);
    }
    // Counter-clockwise seen from above, or from below.
    std::vector<unsigned> indices = s.facingDown ? std::vector<unsigned>{0, 2, 1, 0, 3, 2}
                                                 : std::vector<unsigned>{0, 1, 2, 0, 2, 3};
    auto mesh = std::make_shared<Mesh>(vertices, indices, s.textures, s.material, extras);
    return std::make_shared<Model>(std::vector<std::shared_ptr<Mesh>>{mesh});
}

Material withColour(GLuint colour, unsigned features = 0)
{
    Material material;
    material.colorTexture = colour;
    material.features = features;
    return material;
}

const std::string ambientWhite = "$ ambient 2\nambientStrength 0 1\nambientColor 0 1,1,1\n";

std::string point(const std::string& name, const glm::vec3& p, float color)
{
    return "$ " + name + " 1\ntype 0 0\nposition 0 " + std::to_string(p.x) + "," + std::to_string(p.y) + "," +
           std::to_string(p.z) + "\ncolor 0 " + std::to_string(color) + "," + std::to_string(color) + "," +
           std::to_string(color) + "\n";
}

class MaterialTest : public LitSceneTest {
protected:
    // A scene of `lights` (scene-file text) and `models`, in that order.
    Scene& scene(const std::string& lights, std::vector<std::shared_ptr<Model>> models)
    {
        Scene& result = load(lights);
        for (auto& model : models)
            result.getModels().push_back(model);
        return result;
    }
    // The shadow map of `scene` after a pass, as window depths.
    std::vector<float> shadowDepths(Scene& scene, ShadowMap& shadows)
    {
        shadows.setScreenSize(size, size);
        shadows.render(scene.getSpotLights(), scene.getModels());
        return textureDepth(shadows.getDepthTexture(), 1024, 1024);
    }
    // The depth the map holds where the world point `p` lands.
    static float mapDepth(const std::vector<float>& depths, const ShadowMap& shadows, const glm::vec3& p)
    {
        const glm::vec4 clip = shadows.getLightSpaceMatrix() * glm::vec4(p, 1.0f);
        const glm::ivec2 texel(glm::vec2(clip) / clip.w * 512.0f + 512.0f);
        return depths[texel.y * 1024 + texel.x];
    }
};

// A probe counts as showing a colour when each channel the colour has is
// bright and each other dark: white ambient light 1 tone-maps a full
// channel to about 230 and an empty one to 0, so 100 and 20 leave wide
// margins.
void expectColour(const glm::vec3& seen, const glm::vec3& wanted, const std::string& where)
{
    for (int c = 0; c < 3; ++c)
        if (wanted[c] > 0.5f)
            EXPECT_GT(seen[c], 100.0f) << where << " channel " << c;
        else
            EXPECT_LT(seen[c], 20.0f) << where << " channel " << c;
}

TEST_F(MaterialTest, ColourIsTheColourTextureTimesFactorAndVertexColourAndEmissionShowsInTheDark)
{
    const GLuint white = texture({255, 255, 255, 255});
    const struct {
        const char* name;
        std::string lights;
        std::function<Square()> make;
        glm::vec3 wanted;
    } cases[] = {
        {"magenta texture times yellow factor", ambientWhite,
         [&] {
             Square s{withColour(texture({255, 0, 255, 255}))};
             s.material.baseColorFactor = glm::vec4(1, 1, 0, 1);
             return s;
         },
         {1, 0, 0}},
        {"the colour texture, not the first texture", ambientWhite,
         [&] {
             Square s{withColour(texture({255, 0, 0, 255}))};
             s.textures = {{texture({0, 255, 255, 255}), "texture_specular"}};
             return s;
         },
         {1, 0, 0}},
        {"white texture times green vertex colours", ambientWhite,
         [&] {
             Square s{withColour(white, VertexColors)};
             s.color = glm::vec4(0, 1, 0, 1);
             return s;
         },
         {0, 1, 0}},
        {"yellow emissive texture times magenta factor, no light", "",
         [&] {
             Square s{withColour(white, Emissive)};
             s.material.emissiveTexture = texture({255, 255, 0, 255});
             s.material.emissiveFactor = glm::vec3(1, 0, 1);
             return s;
         },
         {1, 0, 0}},
    };
    for (const auto& c : cases)
        expectColour(probe(renderMaterials(scene(c.lights, {makeModel(c.make())})), glm::vec3(0)), c.wanted, c.name);
}

// A normal map tilted 37 degrees (texel x or y 0.6, z 0.8) under two lights
// placed either side along the tilt, one at a time: the side the map leans
// to is lit more, where the flat square is lit alike from both.
TEST_F(MaterialTest, NormalMapLeansTheSurfaceTowardsTheMappedSideForEveryLight)
{
    const GLuint white = texture({255, 255, 255, 255});
    const struct {
        const char* name;
        std::vector<unsigned char> texel;
        glm::vec4 tangent;
        glm::vec3 leansTo;
    } cases[] = {
        {"x along the tangent", {204, 128, 230, 255}, {1, 0, 0, 1}, {1, 0, 0}},
        {"y along the bitangent, negative sign", {128, 204, 230, 255}, {1, 0, 0, -1}, {0, 0, 1}},
    };
    for (const auto& c : cases) {
        Square s{withColour(white, NormalMap)};
        s.material.normalTexture = texture(c.texel);
        s.tangent = c.tangent;
        const std::shared_ptr<Model> model = makeModel(s);
        for (const char* kind : {"point", "spot"}) {
            float level[2];
            for (int side = 0; side < 2; ++side) {
                const glm::vec3 at = (side == 0 ? 3.0f : -3.0f) * c.leansTo + glm::vec3(0, 3, 0);
                const std::string light =
                    kind[0] == 'p' ? point("l", at, 1.0f)
                                   : "$ l 1\ntype 0 1\nposition 0 " + std::to_string(at.x) + "," +
                                         std::to_string(at.y) + "," + std::to_string(at.z) + "\ndirection 0 " +
                                         std::to_string(-at.x) + ",-3," + std::to_string(-at.z) +
                                         "\ncolor 0 1,1,1\ninnerRadius 0 40\nouterRadius 0 60\n";
                level[side] = brightness(probe(renderMaterials(scene(light, {model})), glm::vec3(0)));
            }
            // The light comes in 45 degrees off the flat normal: cos 8
            // against cos 82 degrees, about 7 times the light; 1.5 leaves
            // room for the tone curve.
            EXPECT_GT(level[0], 1.5f * level[1]) << c.name << ", " << kind;
            EXPECT_GT(level[1], 5.0f) << c.name << ", " << kind;
        }
    }
}

TEST_F(MaterialTest, MaskCutsOutInTheLitPassAndBothAlphaModesInTheShadowMap)
{
    // Texels: left half alpha `low`, right half `high`; the square hovers 1
    // unit over a grey floor under a spot straight down.
    const GLuint grey = texture({128, 128, 128, 255});
    const struct {
        const char* name;
        unsigned feature;
        unsigned char low, high;
    } cases[] = {{"mask, cutoff 0.5", AlphaMask, 0, 255}, {"blend, alpha 0.4 and 0.6", AlphaBlend, 102, 153}};
    for (const auto& c : cases) {
        Square s{withColour(texture({255, 0, 0, c.low, 255, 0, 0, c.high}, 2, 1), c.feature)};
        s.half = 2.0f;
        s.y = 1.0f;
        Square ground{withColour(grey)};
        Scene& shown = scene(ambientWhite + "$ spot 1\ntype 0 1\nposition 0 0,6,0\ndirection 0 0,-1,0\ncolor 0 0,0,0\n"
                                            "innerRadius 0 40\nouterRadius 0 45\n",
                             {makeModel(s), makeModel(ground)});
        ShadowMap shadows;
        const std::vector<float> depths = shadowDepths(shown, shadows);
        // 5 units from the light for the square, 6 for the floor: window
        // depths 0.0033 apart in the light's projection. The floor is flat
        // across the light's axis, its depth the same everywhere.
        const float floorDepth = mapDepth(depths, shadows, {3.5f, 0, 0});
        EXPECT_NEAR(mapDepth(depths, shadows, {-1, 1, 0}), floorDepth, 5e-4f) << c.name << ": cut out casts";
        EXPECT_LT(mapDepth(depths, shadows, {1, 1, 0}), floorDepth - 2e-3f) << c.name << ": kept part casts not";
        if (c.feature == AlphaMask) {
            const Image image = renderMaterials(shown);
            expectColour(probe(image, {-1, 1, 0}), {1, 1, 1}, "floor through the cut-out");
            expectColour(probe(image, {1, 1, 0}), {1, 0, 0}, "kept part");
        }
    }
}

TEST_F(MaterialTest, BlendedMeshesDrawAfterTheOpaqueOnesFarthestFirstWithoutWritingDepth)
{
    // Listed nearest first, before the floor they hang over: blue (alpha
    // 0.5) 2 units up, red (alpha 0.5) 1 unit up, a white floor.
    const auto pane = [](GLuint colour, float y) {
        Square s{withColour(colour, AlphaBlend)};
        s.material.baseColorFactor.a = 0.5f;
        s.half = 1.0f;
        s.y = y;
        return makeModel(s);
    };
    Scene& shown = scene(ambientWhite, {pane(texture({0, 0, 255, 255}), 2.0f), pane(texture({255, 0, 0, 255}), 1.0f),
                                        makeModel(Square{withColour(texture({255, 255, 255, 255}))})});
    const Image image = renderMaterials(shown);
    // Over white (all 231) red then blue, each at half: (231, 116, 116),
    // then (116, 58, 173). Unsorted, red ends on top (231, 58, 116); with
    // the floor drawn after them, white. 10 levels cover the tone curve's
    // rounding.
    const glm::vec3 seen = probe(image, glm::vec3(0));
    EXPECT_NEAR(seen.r, 116.0f, 10.0f);
    EXPECT_NEAR(seen.g, 58.0f, 10.0f);
    EXPECT_NEAR(seen.b, 173.0f, 10.0f);
    // The depth buffer still holds the floor's depth under the panes.
    GLfloat depth = 0.0f;
    glReadPixels(size / 2, size / 2, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    const glm::vec3 window = glm::project(glm::vec3(0), view, projection, glm::vec4(0, 0, size, size));
    EXPECT_NEAR(depth, window.z, 1e-4f);
    GLboolean mask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_TRUE(mask && !glIsEnabled(GL_BLEND)) << "blending left on or depth writes off";
}

TEST_F(MaterialTest, TwoSidedBackFaceIsLitWithTheTurnedNormalAndCastsAShadow)
{
    // A square facing down, seen and lit from above: its back face.
    const std::string light = point("bulb", {0, 3, 0}, 1.0f) +
                              "$ spot 1\ntype 0 1\nposition 0 0,6,0\ndirection 0 0,-1,0\ncolor 0 0,0,0\n"
                              "innerRadius 0 40\nouterRadius 0 45\n";
    const GLuint white = texture({255, 255, 255, 255});
    for (const unsigned features : {0u, unsigned(TwoSided)}) {
        Square s{withColour(white, features)};
        s.facingDown = true;
        s.y = 1.0f;
        s.half = 2.0f;
        Scene& shown = scene(light, {makeModel(s)});
        const float level = brightness(probe(renderMaterials(shown), glm::vec3(0, 1, 0)));
        ShadowMap shadows;
        const float depth = mapDepth(shadowDepths(shown, shadows), shadows, {0, 1, 0});
        if (features) {
            EXPECT_GT(level, 150.0f) << "back face not lit from its side";
            EXPECT_LT(depth, 1.0f) << "casts no shadow";
        } else {
            EXPECT_EQ(level, 0.0f) << "a one-sided back face is culled";
            EXPECT_EQ(depth, 1.0f);
        }
        EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    }
}

// A point light of colour 2, 3 units over the origin: its highlight lies at
// the origin for the camera above it; 3 units aside the light meets the
// floor at 45 degrees, far from any highlight.
TEST_F(MaterialTest, MetalHasNoDiffuseAndAHighlightOfItsColourAndMatteHasNoHighlight)
{
    const GLuint gold = texture({255, 200, 60, 255});
    const auto metalRough = [&](float metallic, std::vector<unsigned char> texel) {
        Square s{withColour(gold, MetalRoughness)};
        s.material.metallic = metallic;
        s.material.roughness = 1.0f;
        s.material.metalRoughnessTexture = texture(texel);
        return s;
    };
    const struct {
        const char* name;
        Square square;
    } cases[] = {
        {"default highlight", Square{withColour(gold)}},
        {"matte: specular colour 0", [&] {
             Square s{withColour(gold, ClassicSpecular)};
             s.material.specularColor = glm::vec3(0.0f);
             return s;
         }()},
        {"smooth metal (texture: blue 1, green 0.2)", metalRough(1.0f, {0, 51, 255, 255})},
        {"rough metal", metalRough(1.0f, {0, 255, 255, 255})},
        {"dielectric: metallic factor 0", metalRough(0.0f, {0, 51, 255, 255})},
        {"dielectric: texture blue 0", metalRough(1.0f, {0, 51, 0, 255})},
    };
    glm::vec3 centre[6], aside[6];
    for (int i = 0; i < 6; ++i) {
        const Image image = renderMaterials(scene(point("bulb", {0, 3, 0}, 2.0f), {makeModel(cases[i].square)}));
        centre[i] = probe(image, glm::vec3(0));
        aside[i] = probe(image, glm::vec3(3, 0, 0));
    }
    // Matte: the same diffuse aside (a level of rounding); at the centre
    // gold's blue is small (0.045), so the default highlight (0.25 grey)
    // shows there as about 165 where the matte surface stays near 65.
    EXPECT_NEAR(brightness(aside[1]), brightness(aside[0]), 1.0f);
    EXPECT_LT(centre[1].b + 50.0f, centre[0].b) << cases[1].name;
    // A smooth metal's narrow lobe leaves nothing aside (under 8 levels),
    // where Lambert alone would give about 200; a rough metal's highlight
    // is gold (f0 = its colour), a dielectric's diffuse shows aside.
    EXPECT_LT(brightness(aside[2]), 15.0f) << cases[2].name;
    EXPECT_GT(centre[3].r, 100.0f) << cases[3].name;
    EXPECT_GT(centre[3].r, centre[3].b + 60.0f) << "the highlight of a metal has its colour";
    for (int i : {4, 5})
        EXPECT_GT(brightness(aside[i]), 60.0f) << cases[i].name;
}

// The light 4 units off, just below the floor's level (so the floor faces
// away from it); the camera low over the floor on the other side, looking
// at it, sees the mirror direction.
TEST_F(MaterialTest, NoModelPutsAHighlightWhereTheLightIsBehindTheSurface)
{
    view = glm::lookAt(glm::vec3(5, 1.5f, 0), glm::vec3(0), glm::vec3(0, 1, 0));
    const GLuint white = texture({255, 255, 255, 255});
    Square classic{withColour(white, ClassicSpecular)};
    classic.material.specularColor = glm::vec3(1.0f);
    classic.material.shininess = 20.0f;
    Square metal{withColour(white, MetalRoughness)};
    metal.material.roughness = 0.3f;
    metal.material.metalRoughnessTexture = white;
    for (const Square& s : {Square{withColour(white)}, classic, metal}) {
        const Image image = renderMaterials(scene(point("below", {-4, -0.2f, 0}, 4.0f), {makeModel(s)}));
        EXPECT_EQ(image.fractionBrighterThan(0, 0, size, size, 0.0f), 0.0)
            << ProgramVariants::nameOf(s.material.features);
    }
}

// Glass captures shade with the lit pass's code: a material drawn as glass
// shows in the "rrTest" capture exactly as the lit pass shows it opaque
// (without a shadow, which neither has here), and the "normal" capture
// holds the mapped normal.
TEST_F(MaterialTest, ReflectionCaptureShadesEveryMaterialLikeTheLitPass)
{
    const GLuint tinted = texture({200, 150, 100, 255});
    std::vector<std::pair<const char*, Square>> cases;
    cases.push_back({"plain", Square{withColour(tinted)}});
    Square factor{withColour(tinted, VertexColors)};
    factor.material.baseColorFactor = glm::vec4(0.5f, 1, 1, 1);
    factor.color = glm::vec4(1, 0.5f, 1, 1);
    cases.push_back({"factor and vertex colours", factor});
    Square mapped{withColour(tinted, NormalMap | Emissive)};
    mapped.material.normalTexture = texture({204, 128, 230, 255});
    mapped.material.emissiveTexture = tinted;
    mapped.material.emissiveFactor = glm::vec3(0.2f);
    mapped.tangent = glm::vec4(1, 0, 0, 1);
    cases.push_back({"normal map and emission", mapped});
    Square metal{withColour(tinted, MetalRoughness)};
    metal.material.roughness = 0.4f;
    metal.material.metalRoughnessTexture = tinted;
    cases.push_back({"metal", metal});
    Square classic{withColour(tinted, ClassicSpecular | AlphaMask)};
    classic.material.specularColor = glm::vec3(0.6f, 0.3f, 0.1f);
    classic.material.shininess = 12.0f;
    cases.push_back({"classic highlight, masked", classic});

    const std::string lights = "$ ambient 2\nambientStrength 0 0.2\nambientColor 0 1,1,1\n" +
                               point("p", {1, 2, 1}, 1.0f) +
                               "$ spot 1\ntype 0 1\nposition 0 -2,4,0\ndirection 0 1,-2,0\ncolor 0 2,2,2\n"
                               "innerRadius 0 20\nouterRadius 0 30\n";
    RefractionCaptures captures(size, size);
    for (auto& [name, square] : cases) {
        square.half = 2.0f;
        const std::shared_ptr<Model> model = makeModel(square);
        const Image lit = renderMaterials(scene(lights, {model}));
        model->setTransparency(1.0f);
        Scene& glass = scene(lights, {model});
        testing::internal::CaptureStdout();
        captures.render(glass, view, projection);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        const std::vector<unsigned char> bytes =
            textureBytes(captures.getReflectionRefractionTarget()->getColorTexture(), size, size);
        Image captured{size, size, {}};
        for (int y = size - 1; y >= 0; --y)
            captured.rgb.insert(captured.rgb.end(), bytes.begin() + y * size * 3, bytes.begin() + (y + 1) * size * 3);
        ASSERT_GT(brightness(lit.mean(100, 100, 156, 156)), 40.0f) << name;
        // The same arithmetic on the same inputs: at most a level apart.
        EXPECT_LE(compareImages(captured, lit, 1).largest, 1) << name;
        if (square.material.has(NormalMap)) {
            // Leaning to +x in the world is to +x in this view: stored
            // (0.6, 0, 0.8) * 0.5 + 0.5.
            const std::vector<unsigned char> normals =
                textureBytes(captures.getFrontTarget()->getColorTexture(), size, size);
            const int centre = (size / 2 * size + size / 2) * 3;
            EXPECT_NEAR(normals[centre], 204, 3);
            EXPECT_NEAR(normals[centre + 2], 230, 3);
        }
    }
}

} // namespace
