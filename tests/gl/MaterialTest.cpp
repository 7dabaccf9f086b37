// What a model file says about its look, as the picture shows it: colour
// sources, vertex colours, normal maps, emission, alpha, two-sided faces, the
// highlight models, skins and the rotation key, in the lit pass, the shadow
// map and the glass captures. Each test writes small OBJ, PLY and glTF files,
// loads them through a scene file and draws them under the lit-scene
// fixture's camera, 12 units above the origin.
#include "LitSceneTest.h"
#include "ModelFiles.h"
#include "ObjText.h"
#include "effects/PostProcFramebuffer.h"
#include "effects/RefractionCaptures.h"
#include "effects/ShadowMap.h"
#include "render/Model.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

const std::string ambientWhite = ambientLight(1.0f);
// Straight down from 6 units; colour 0, so it only casts the shadow map.
const std::string shadowSpot = spotLight("spot", {0, 6, 0}, {0, -1, 0}, glm::vec3(0), 40.0f, 45.0f);

// A glTF quad (1 x 1, facing up) with `material`, its images and nodes.
GltfQuad quad(const std::string& material, std::vector<std::string> images = {},
              const std::string& nodes = R"({"mesh":0,"scale":[8,8,8]})")
{
    GltfQuad q;
    q.material = material;
    q.images = std::move(images);
    q.nodes = nodes;
    return q;
}

// A glTF material lit by diffuse light alone: metallic 0 and the rest of
// its pbrMetallicRoughness (`pbr`) and of itself (`rest`).
std::string dielectric(const std::string& pbr = "", const std::string& rest = "")
{
    return R"({"pbrMetallicRoughness":{"metallicFactor":0)" + (pbr.empty() ? "" : "," + pbr) + "}" +
           (rest.empty() ? "" : "," + rest) + "}";
}

class MaterialTest : public LitSceneTest {
protected:
    // An RGBA PNG of `width` x 1 texels.
    void png(const std::string& name, const std::vector<unsigned char>& rgba, int width = 1) const
    {
        dir.write(name, pngFile(width, 1, rgba));
    }
    // name.obj: a square of 2 half x 2 half about `centre`, facing up (or
    // down), u along +x, OBJ's v growing along +z; material `mtl` (MTL text).
    std::string square(const std::string& name, const std::string& mtl, float half = 4.0f,
                       const glm::vec3& centre = glm::vec3(0.0f), bool down = false) const
    {
        dir.write(name + ".mtl", "newmtl m\n" + mtl);
        std::ostringstream out;
        out << "mtllib " << name << ".mtl\nusemtl m\n";
        int next = 1;
        appendQuad(out, next, centre, {1, 0, 0}, {0, 0, down ? 1.0f : -1.0f}, half, half);
        dir.write(name + ".obj", out.str());
        return dir.file(name + ".obj");
    }
    std::string gltf(const std::string& name, const GltfQuad& q) const { return writeGltf(dir, q, name); }
    // name.ply: a square of 2 half x 2 half facing up, every corner of colour
    // `rgb` (display bytes).
    std::string ply(const std::string& name, const std::string& rgb) const
    {
        std::string text = "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\n"
                           "property float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
                           "element face 2\nproperty list uchar int vertex_indices\nend_header\n";
        for (const char* corner : {"-4 0 4 ", "4 0 4 ", "4 0 -4 ", "-4 0 -4 "})
            text += corner + rgb + "\n";
        dir.write(name + ".ply", text + "3 0 1 2\n3 0 2 3\n");
        return dir.file(name + ".ply");
    }
    // A scene of `lights` and one model section for each of `models` (a
    // path, then any further lines of its section), in that order.
    Scene& scene(const std::string& lights, const std::vector<std::string>& models)
    {
        std::string text = lights;
        for (std::size_t i = 0; i < models.size(); ++i)
            text += "$ model" + std::to_string(i) + " 0\npath 0 " + models[i] + "\n";
        Scene& result = load(text);
        EXPECT_EQ(errors, "");
        return result;
    }
    Image picture(const std::string& lights, const std::vector<std::string>& models)
    {
        return renderMaterials(scene(lights, models));
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

TEST_F(MaterialTest, ColourIsTheDiffuseImageTimesItsFactorTimesVertexColoursPlusEmission)
{
    png("magenta.png", {255, 0, 255, 255});
    png("cyan.png", {0, 255, 255, 255});
    png("yellow.png", {255, 255, 0, 255});
    const struct {
        const char* name;
        std::string lights, path;
        glm::vec3 wanted;
    } cases[] = {
        {"magenta image times MTL Kd yellow", ambientWhite, square("tinted", "Kd 1 1 0\nmap_Kd magenta.png\n"), {1, 0, 0}},
        {"a specular map is never the colour", ambientWhite, square("specular", "Kd 1 0 0\nmap_Ks cyan.png\n"), {1, 0, 0}},
        {"PLY vertex colours", ambientWhite, ply("green", "0 255 0"), {0, 1, 0}},
        {"yellow emissive image times MTL Ke magenta, no light", "",
         square("glow", "Kd 0 0 0\nKe 1 0 1\nmap_Ke yellow.png\n"), {1, 0, 0}},
    };
    for (const auto& c : cases)
        expectColour(probe(picture(c.lights, {c.path}), glm::vec3(0)), c.wanted, c.name);

    // A diffuse image that cannot be loaded shows the material's colour as
    // a material without an image does, once: the same picture.
    const Image plain = picture(ambientWhite, {square("plain", "Kd 0.5 0.2 0\n")});
    const Image missing = picture(ambientWhite, {square("missing", "Kd 0.5 0.2 0\nmap_Kd absent.png\n")});
    EXPECT_NE(output.find("Failed to load texture " + dir.file("absent.png")), std::string::npos) << output;
    ASSERT_GT(brightness(probe(plain, glm::vec3(0))), 40.0f);
    EXPECT_LE(compareImages(missing, plain, 0).largest, 1);

    // PLY's vertex colours and MTL's Kd are both display colours: grey 128
    // and 0.5 decode to the same linear 0.216 and 0.214, the same picture
    // to a level of rounding.
    const Image fromPly = picture(ambientWhite, {ply("grey", "128 128 128")});
    const Image fromMtl = picture(ambientWhite, {square("grey", "Kd 0.5 0.5 0.5\n")});
    ASSERT_GT(brightness(probe(fromMtl, glm::vec3(0))), 40.0f);
    EXPECT_LE(compareImages(fromPly, fromMtl, 1, 100, 100, 156, 156).largest, 1);
}

// A normal map tilted 37 degrees (texel x or y 0.6, z 0.8) under two lights
// placed either side along the tilt, one at a time: the side the map leans
// to is lit more, where a flat square is lit alike from both.
TEST_F(MaterialTest, NormalMapLeansTheSurfaceTowardsTheMappedSideForEveryLight)
{
    png("leanX.png", {204, 128, 230, 255});
    png("leanY.png", {128, 204, 230, 255});
    png("height.png", {200, 200, 200, 255});
    const std::string normalMap = dielectric("", R"("normalTexture":{"index":0})");
    GltfQuad fileTangents = quad(normalMap, {"leanY.png"});
    for (int corner = 0; corner < 4; ++corner)
        fileTangents.tangents.insert(fileTangents.tangents.end(), {1, 0, 0, -1});
    // Up the image is towards v = 0, the image's top row: +z for the OBJ
    // square, -z for the glTF quad.
    const struct {
        const char* name;
        std::string path;
        glm::vec3 leansTo;
    } cases[] = {
        {"MTL map_bump, x along u", square("alongU", "map_bump leanX.png\n"), {1, 0, 0}},
        {"MTL map_bump, y up the image", square("upImage", "map_bump leanY.png\n"), {0, 0, 1}},
        {"glTF, generated tangents", gltf("generated", quad(normalMap, {"leanY.png"})), {0, 0, -1}},
        {"glTF under a mirroring node",
         gltf("mirrored", quad(normalMap, {"leanY.png"}, R"({"mesh":0,"scale":[-8,8,8]})")), {0, 0, -1}},
        {"glTF, the file's tangents of handedness -1", gltf("tangents", fileTangents), {0, 0, 1}},
        // A height map given as map_bump is no normal map: no lean.
        {"MTL map_bump of a height map", square("height", "map_bump height.png\n"), {1, 0, 0}},
    };
    for (const auto& c : cases) {
        for (const char* kind : {"point", "spot"}) {
            float level[2];
            for (int side = 0; side < 2; ++side) {
                const glm::vec3 at = (side == 0 ? 3.0f : -3.0f) * c.leansTo + glm::vec3(0, 3, 0);
                const std::string light =
                    kind[0] == 'p' ? pointLight("l", at, glm::vec3(1.0f))
                                   : spotLight("l", at, {-at.x, -3, -at.z}, glm::vec3(1), 40.0f, 60.0f);
                level[side] = brightness(probe(picture(light, {c.path}), glm::vec3(0)));
            }
            EXPECT_GT(level[1], 5.0f) << c.name << ", " << kind;
            if (std::string(c.name).find("height") != std::string::npos) {
                // The same light from either side: a level for rounding.
                EXPECT_NEAR(level[0], level[1], 1.0f) << c.name << ", " << kind;
                continue;
            }
            // The light comes in 45 degrees off the flat normal: cos 8
            // against cos 82 degrees, about 7 times the light; 1.5 leaves
            // room for the tone curve.
            EXPECT_GT(level[0], 1.5f * level[1]) << c.name << ", " << kind;
        }
    }
}

TEST_F(MaterialTest, MaskCutsOutInTheLitPassAndBothAlphaModesInTheShadowMap)
{
    // Texels: left half alpha `low`, right half `high`; the square hovers 1
    // unit over a grey floor under a spot straight down.
    png("mask.png", {255, 0, 0, 0, 255, 0, 0, 255}, 2);
    png("translucent.png", {255, 0, 0, 102, 255, 0, 0, 153}, 2);
    png("grey.png", {128, 128, 128, 255});
    const std::string floor = square("floor", "map_Kd grey.png\n");
    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        {"glTF MASK, cutoff 0.5",
         gltf("mask", quad(dielectric(R"("baseColorTexture":{"index":0})", R"("alphaMode":"MASK")"), {"mask.png"},
                           R"({"mesh":0,"scale":[4,4,4],"translation":[0,1,0]})"))},
        {"MTL image of alpha 0.4 and 0.6", square("translucent", "map_Kd translucent.png\n", 2, {0, 1, 0})},
    };
    for (const auto& c : cases) {
        Scene& shown = scene(ambientWhite + shadowSpot, {c.path, floor});
        ShadowMap shadows;
        const std::vector<float> depths = shadowDepths(shown, shadows);
        // 5 units from the light for the square, 6 for the floor: window
        // depths 0.0033 apart in the light's projection. The floor is flat
        // across the light's axis, its depth the same everywhere.
        const float floorDepth = mapDepth(depths, shadows, {3.5f, 0, 0});
        EXPECT_NEAR(mapDepth(depths, shadows, {-1, 1, 0}), floorDepth, 5e-4f) << c.name << ": cut out casts";
        EXPECT_LT(mapDepth(depths, shadows, {1, 1, 0}), floorDepth - 2e-3f) << c.name << ": kept part casts not";
        if (c.name[0] == 'g') {
            const Image image = renderMaterials(shown);
            expectColour(probe(image, {-1, 1, 0}), {1, 1, 1}, "floor through the cut-out");
            // The kept part is red; a dielectric's ambient highlight
            // (about 50 levels) greys it a little.
            const glm::vec3 kept = probe(image, {1, 1, 0});
            EXPECT_GT(kept.r, kept.g + 100.0f) << "kept part";
        }
    }
}

TEST_F(MaterialTest, BlendedMeshesDrawAfterTheOpaqueOnesFarthestFirstWithoutWritingDepth)
{
    // Listed nearest first, before the floor they hang over: blue (MTL d
    // 0.5) 2 units up, red 1 unit up, a white floor.
    const Image image = picture(ambientWhite, {square("blue", "Kd 0 0 1\nd 0.5\n", 1, {0, 2, 0}),
                                               square("red", "Kd 1 0 0\nd 0.5\n", 1, {0, 1, 0}),
                                               square("white", "Kd 1 1 1\n")});
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
    // A quad turned upside down by its node, seen and lit from above: its
    // back face.
    const std::string upsideDown = R"({"mesh":0,"scale":[4,4,4],"rotation":[1,0,0,0],"translation":[0,1,0]})";
    for (const bool twoSided : {false, true}) {
        const std::string path = gltf(twoSided ? "two" : "one",
                                      quad(dielectric("", twoSided ? R"("doubleSided":true)" : ""), {}, upsideDown));
        Scene& shown = scene(pointLight("bulb", {0, 3, 0}, glm::vec3(1.0f)) + shadowSpot, {path});
        const float level = brightness(probe(renderMaterials(shown), glm::vec3(0, 1, 0)));
        ShadowMap shadows;
        const float depth = mapDepth(shadowDepths(shown, shadows), shadows, {0, 1, 0});
        if (twoSided) {
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
    png("gold.png", {255, 200, 60, 255});
    png("smooth.png", {0, 51, 255, 255});
    png("rough.png", {0, 255, 255, 255});
    png("dielectric.png", {0, 51, 0, 255});
    const auto metal = [&](const std::string& name, float metallic, const std::string& texture) {
        return gltf(name, quad(R"({"pbrMetallicRoughness":{"baseColorTexture":{"index":0},"metallicFactor":)" +
                                   std::to_string(metallic) + R"(,"metallicRoughnessTexture":{"index":1}}})",
                               {"gold.png", texture}));
    };
    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        {"default highlight", square("default", "map_Kd gold.png\n")},
        {"matte: MTL Ks 0", square("matte", "Ks 0 0 0\nNs 10\nmap_Kd gold.png\n")},
        {"smooth metal (texture: blue 1, green 0.2)", metal("smooth", 1.0f, "smooth.png")},
        {"rough metal", metal("rough", 1.0f, "rough.png")},
        {"dielectric: metallic factor 0", metal("factor0", 0.0f, "smooth.png")},
        {"dielectric: texture blue 0", metal("blue0", 1.0f, "dielectric.png")},
    };
    glm::vec3 centre[6], aside[6];
    for (int i = 0; i < 6; ++i) {
        const Image image = picture(pointLight("bulb", {0, 3, 0}, glm::vec3(2.0f)), {cases[i].path});
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
    png("white.png", {255, 255, 255, 255});
    const std::string metal =
        R"({"pbrMetallicRoughness":{"roughnessFactor":0.3,"metallicRoughnessTexture":{"index":0}}})";
    for (const std::string& path : {square("default", "map_Kd white.png\n"),
                                    square("classic", "Ks 1 1 1\nNs 20\nmap_Kd white.png\n"),
                                    gltf("metal", quad(metal, {"white.png"}))}) {
        const Image image = picture(pointLight("below", {-4, -0.2f, 0}, glm::vec3(4.0f)), {path});
        EXPECT_EQ(image.fractionBrighterThan(0, 0, size, size, 0.0f), 0.0) << path;
    }
}

// A skin whose one joint node stands at x = 3 holds the whole quad there;
// the skinned mesh's own node (at z = -2) moves nothing.
TEST_F(MaterialTest, SkinnedMeshIsDrawnInItsJointsPose)
{
    GltfQuad skinned = quad(dielectric(), {},
                            R"({"children":[1,2]},{"mesh":0,"skin":0,"translation":[0,0,-2]},{"translation":[3,0,0]})");
    skinned.skins = R"([{"joints":[2],"inverseBindMatrices":BIND}])";
    skinned.joints.assign(16, 0);
    for (int corner = 0; corner < 4; ++corner)
        skinned.weights.insert(skinned.weights.end(), {1, 0, 0, 0});
    const Image image = picture(ambientWhite, {gltf("skinned", skinned)});
    EXPECT_GT(brightness(probe(image, {3, 0, 0})), 100.0f) << "posed";
    EXPECT_EQ(brightness(probe(image, {0, 0, 0})), 0.0f) << "bind pose";
    EXPECT_EQ(brightness(probe(image, {3, 0, -2})), 0.0f) << "moved by the mesh's node too";
}

// Glass captures shade with the lit pass's code: a material drawn as glass
// shows in the "rrTest" capture exactly as the lit pass shows it opaque
// (without a shadow, which neither has here), and the "normal" capture
// holds the mapped normal.
TEST_F(MaterialTest, ReflectionCaptureShadesEveryMaterialLikeTheLitPass)
{
    png("tinted.png", {200, 150, 100, 255});
    png("leanX.png", {204, 128, 230, 255});
    GltfQuad factor = quad(dielectric(R"("baseColorFactor":[0.5,1,1,1],"baseColorTexture":{"index":0})"),
                           {"tinted.png"}, R"({"mesh":0,"scale":[4,4,4]})");
    for (int corner = 0; corner < 4; ++corner)
        factor.colors.insert(factor.colors.end(), {1, 0.5f, 1, 1});
    const std::pair<const char*, std::string> cases[] = {
        {"plain", square("plain", "map_Kd tinted.png\n", 2)},
        {"factor and vertex colours", gltf("factor", factor)},
        {"normal map and emission", square("mapped", "map_Kd tinted.png\nmap_bump leanX.png\nKe 0.5 0.5 0.5\n"
                                                     "map_Ke tinted.png\n", 2)},
        {"masked metal",
         gltf("metal", quad(R"({"alphaMode":"MASK","pbrMetallicRoughness":{"roughnessFactor":0.4,)"
                            R"("baseColorTexture":{"index":0},"metallicRoughnessTexture":{"index":0}}})",
                            {"tinted.png"}, R"({"mesh":0,"scale":[4,4,4]})"))},
        {"classic highlight", square("classic", "map_Kd tinted.png\nKs 0.8 0.6 0.3\nNs 12\n", 2)},
    };
    const std::string lights = ambientLight(0.2f) + pointLight("p", {1, 2, 1}, glm::vec3(1.0f)) +
                               spotLight("spot", {-2, 4, 0}, {1, -2, 0}, glm::vec3(2), 20.0f, 30.0f);
    RefractionCaptures captures(size, size);
    for (const auto& [name, path] : cases) {
        Scene& shown = scene(lights, {path});
        const Image lit = renderMaterials(shown);
        shown.getModels()[0]->setTransparency(1.0f);
        testing::internal::CaptureStdout();
        captures.render(shown, view, projection);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        const std::vector<unsigned char> bytes =
            textureBytes(captures.getReflectionRefractionTarget()->getColorTexture(), size, size);
        Image captured{size, size, {}};
        for (int y = size - 1; y >= 0; --y)
            captured.rgb.insert(captured.rgb.end(), bytes.begin() + y * size * 3, bytes.begin() + (y + 1) * size * 3);
        ASSERT_GT(brightness(lit.mean(100, 100, 156, 156)), 40.0f) << name;
        // The same arithmetic on the same inputs: at most a level apart.
        EXPECT_LE(compareImages(captured, lit, 1).largest, 1) << name;
        if (name[0] == 'n') {
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
