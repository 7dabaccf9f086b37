// The shipped assets: the generator remakes them byte for byte, and what it
// made is what the viewer needs (sky faces in cube-map order without seams,
// a scene file the viewer's reader takes, models Assimp imports with normals,
// texture coordinates and textures, shadow casters in the shadow light's
// view, and a smooth camera tour past every feature).
#include "AssetGenerator.h"
#include "camera/Camera.h"
#include "scene/ConfigSection.h"

#include "CoutCapture.h"
#include "ImageProbe.h"
#include "TempDir.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>
#include <stb_image.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kAssets = std::string(VELMORA_SOURCE_DIR) + "/assets";

std::set<std::string> filesUnder(const fs::path& root)
{
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.insert(fs::relative(entry.path(), root).generic_string());
    return files;
}

// Reads a data file with the viewer's own reader, keeping its echo off the
// test output.
std::map<std::string, ConfigSection> readSections(const std::string& path)
{
    std::map<std::string, ConfigSection> sections;
    const CoutCapture echo;
    readConfigFile(sections, path);
    return sections;
}

// ---- sky ------------------------------------------------------------------

// The sky loader's face order: GL_TEXTURE_CUBE_MAP_POSITIVE_X + index.
const char* const kFaceFiles[6] = {"ft", "bk", "up", "dn", "rt", "lf"};

// Decodes an uncompressed 24-bit TGA as the sky loader's decoder returns it
// (top row first, whichever origin the file declares).
Image readTga(const std::string& bytes)
{
    Image face;
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
    face.width = b[12] | b[13] << 8;
    face.height = b[14] | b[15] << 8;
    const bool topFirst = (b[17] & 0x20) != 0;
    const std::size_t start = 18 + b[0];
    face.rgb.resize(static_cast<std::size_t>(face.width) * face.height * 3);
    for (int y = 0; y < face.height; ++y) {
        const int row = topFirst ? y : face.height - 1 - y;
        for (int x = 0; x < face.width; ++x) {
            const std::size_t from = start + (static_cast<std::size_t>(row) * face.width + x) * 3;
            const std::size_t to = (static_cast<std::size_t>(y) * face.width + x) * 3;
            face.rgb[to] = b[from + 2];
            face.rgb[to + 1] = b[from + 1];
            face.rgb[to + 2] = b[from];
        }
    }
    return face;
}

// The texel a cube-map lookup in `d` reads, by OpenGL's face selection
// table: the major axis picks the face, sc/tc give s and t, and t = 0 is the
// first row of the uploaded image.
struct Texel {
    int face, x, y;
};
Texel lookup(const glm::vec3& d, int size)
{
    const glm::vec3 a = glm::abs(d);
    int face;
    float sc, tc, ma;
    if (a.x >= a.y && a.x >= a.z) {
        face = d.x > 0 ? 0 : 1;
        sc = d.x > 0 ? -d.z : d.z;
        tc = -d.y;
        ma = a.x;
    } else if (a.y >= a.z) {
        face = d.y > 0 ? 2 : 3;
        sc = d.x;
        tc = d.y > 0 ? d.z : -d.z;
        ma = a.y;
    } else {
        face = d.z > 0 ? 4 : 5;
        sc = d.z > 0 ? d.x : -d.x;
        tc = -d.y;
        ma = a.z;
    }
    auto texel = [size](float c) {
        return std::clamp(static_cast<int>(std::floor(0.5f * (c + 1.0f) * size)), 0, size - 1);
    };
    return {face, texel(sc / ma), texel(tc / ma)};
}

// Direction through texel (x, y) of `face` (the inverse of `lookup`), with
// the texel position allowed past the face's edge.
glm::vec3 texelDirection(int face, float x, float y, int size)
{
    const float a = 2.0f * x / size - 1.0f, b = 2.0f * y / size - 1.0f;
    switch (face) {
    case 0: return glm::normalize(glm::vec3(1, -b, -a));
    case 1: return glm::normalize(glm::vec3(-1, -b, a));
    case 2: return glm::normalize(glm::vec3(a, 1, b));
    case 3: return glm::normalize(glm::vec3(a, -1, -b));
    case 4: return glm::normalize(glm::vec3(a, -b, 1));
    default: return glm::normalize(glm::vec3(-a, -b, -1));
    }
}

class NightSky : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        for (int i = 0; i < 6; ++i)
            faces[i] = readTga(readFile(kAssets + "/skybox/mnight/mnight_" + kFaceFiles[i] + ".tga"));
    }
    static glm::vec3 sample(const glm::vec3& direction)
    {
        const Texel t = lookup(glm::normalize(direction), faces[0].width);
        return faces[t.face].at(t.x, t.y);
    }
    // Every border texel against the texel just across the edge on the
    // neighbouring face: mean absolute channel difference and the share of
    // texels whose largest channel difference exceeds 24 levels.
    static std::pair<double, double> seamError(const Image* cube)
    {
        const int n = cube[0].width;
        double sum = 0.0;
        long count = 0, large = 0;
        for (int face = 0; face < 6; ++face) {
            for (int i = 0; i < n; ++i) {
                const glm::ivec2 border[4] = {{i, 0}, {i, n - 1}, {0, i}, {n - 1, i}};
                const glm::vec2 outward[4] = {{0, -1}, {0, 1}, {-1, 0}, {1, 0}};
                for (int k = 0; k < 4; ++k) {
                    const glm::vec2 beyond = glm::vec2(border[k]) + 0.5f + outward[k];
                    const Texel other = lookup(texelDirection(face, beyond.x, beyond.y, n), n);
                    const glm::vec3 diff = glm::abs(cube[face].at(border[k].x, border[k].y) -
                                                    cube[other.face].at(other.x, other.y));
                    sum += (diff.x + diff.y + diff.z) / 3.0;
                    large += std::max(diff.x, std::max(diff.y, diff.z)) > 24.0f;
                    ++count;
                }
            }
        }
        return {sum / count, static_cast<double>(large) / count};
    }
    // Median brightness (channel sum) of the sky at `elevation` degrees
    // over azimuths [from, to) degrees: the median ignores the stars.
    static float medianAt(float elevation, float from, float to)
    {
        std::vector<float> values;
        for (float azimuth = from; azimuth < to; azimuth += 0.5f) {
            const float e = glm::radians(elevation), a = glm::radians(azimuth);
            const glm::vec3 c = sample({std::cos(e) * std::sin(a), std::sin(e), std::cos(e) * std::cos(a)});
            values.push_back(c.x + c.y + c.z);
        }
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    }

    static Image faces[6];
};
Image NightSky::faces[6];

TEST_F(NightSky, FacesAreUncompressedRgbTgaOfAtLeast1024Square)
{
    for (const char* name : kFaceFiles) {
        SCOPED_TRACE(name);
        const std::string bytes = readFile(kAssets + "/skybox/mnight/mnight_" + name + ".tga");
        ASSERT_GE(bytes.size(), 18u);
        const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
        EXPECT_EQ(b[1], 0) << "no colour map";
        EXPECT_EQ(b[2], 2) << "uncompressed true colour";
        EXPECT_EQ(b[16], 24) << "24 bits per pixel, no alpha";
        const int width = b[12] | b[13] << 8, height = b[14] | b[15] << 8;
        EXPECT_EQ(width, height);
        EXPECT_GE(width, 1024);
        // The viewer uploads rows with the default unpack alignment of 4.
        EXPECT_EQ(width * 3 % 4, 0);
        EXPECT_EQ(bytes.size(), 18u + b[0] + static_cast<std::size_t>(width) * height * 3);

        // stb_image, the viewer's decoder, reads it as three channels.
        int w = 0, h = 0, channels = 0;
        stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()),
                                                static_cast<int>(bytes.size()), &w, &h, &channels, 0);
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(channels, 3);
        EXPECT_EQ(std::vector<std::uint8_t>(pixels, pixels + w * h * 3), readTga(bytes).rgb);
        stbi_image_free(pixels);
    }
}

TEST_F(NightSky, NeighbouringFacesMeetWithoutSeams)
{
    // Across an edge two texels lie one texel apart on the sky, so the
    // smooth gradient differs there by under one level, while a star's
    // core changes by up to ~100 levels from one texel to the next. The
    // shipped cube measures a mean of about 0.5 levels with about 0.25% of
    // border texels off by more than 24 levels (stars on the edge). Faces
    // swapped or in the wrong orientation measure 2 levels or more (the
    // gradient, the band and the stars no longer continue), so the limits
    // sit at twice the seamless values.
    const auto [mean, large] = seamError(faces);
    EXPECT_LT(mean, 1.0);
    EXPECT_LT(large, 0.005);

    // The same measure catches a face turned by a quarter turn.
    Image turned[6] = {faces[0], faces[1], faces[2], faces[3], faces[4], faces[5]};
    const int n = faces[4].width;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            for (int c = 0; c < 3; ++c)
                turned[4].rgb[(static_cast<std::size_t>(y) * n + x) * 3 + c] =
                    faces[4].rgb[(static_cast<std::size_t>(x) * n + (n - 1 - y)) * 3 + c];
    EXPECT_GT(seamError(turned).first, 1.0);
}

TEST_F(NightSky, HorizonIsLevelAndBrightestAndTheMoonShinesFromTheShadowLight)
{
    // Dark blue at the zenith, lighter towards the horizon, dark below it,
    // and the same all around: one sector per 45 degrees of azimuth.
    for (float from = 0.0f; from < 360.0f; from += 45.0f) {
        SCOPED_TRACE(from);
        const float horizon = medianAt(1.5f, from, from + 45.0f);
        EXPECT_GT(horizon, medianAt(30.0f, from, from + 45.0f) + 15.0f);
        EXPECT_GT(medianAt(30.0f, from, from + 45.0f), medianAt(80.0f, from, from + 45.0f));
        EXPECT_GT(horizon, medianAt(-20.0f, from, from + 45.0f) + 30.0f);
        // Level: every sector's horizon within 12 levels (of 765) of the
        // first; the moon's halo adds a few where it stands.
        EXPECT_NEAR(horizon, medianAt(1.5f, 0.0f, 45.0f), 12.0f);
        const glm::vec3 zenith = sample({0.01f, 1.0f, 0.0f});
        EXPECT_GT(zenith.z, zenith.x) << "the night sky is blue";
    }

    // The moon stands where the shadow-casting spot light comes from, so
    // that the sky and the shadows agree: bright on its centre, night sky
    // ten degrees away.
    auto sections = readSections(kAssets + "/scene.txt");
    const ConfigSection* light = nullptr;
    for (const auto& [name, section] : sections)
        if (!light && section.kind == 1 && section.getInt("type") == 1)
            light = &section;
    ASSERT_NE(light, nullptr);
    const glm::vec3 toMoon = -glm::normalize(light->getVec3("direction"));
    const glm::vec3 centre = sample(toMoon);
    EXPECT_GT(centre.x + centre.y + centre.z, 3 * 180.0f);
    const glm::vec3 side = glm::normalize(glm::cross(toMoon, glm::vec3(0, 1, 0)));
    const glm::vec3 away = sample(glm::normalize(toMoon + side * std::tan(glm::radians(10.0f))));
    EXPECT_LT(away.x + away.y + away.z, 3 * 90.0f);
    EXPECT_GT(toMoon.y, std::sin(glm::radians(10.0f))) << "the moon is above the horizon";
}

// ---- scene file and models ------------------------------------------------

struct LoadedModel {
    std::string section;
    std::string path;
    glm::vec3 position;
    glm::vec3 axis;
    float speed;
    float transparency;
    std::vector<glm::vec3> vertices; // model space
    std::vector<std::array<glm::vec3, 3>> triangles;
};

class ShippedScene : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sections = readSections(kAssets + "/scene.txt");
        for (const auto& [name, section] : sections) {
            if (section.kind != 0)
                continue;
            LoadedModel model{name, section.getString("path"), section.getVec3("position"), section.getVec3("axis"),
                              section.getFloat("speed"), section.getFloat("transparency"), {}, {}};
            Assimp::Importer importer;
            const aiScene* scene = importer.ReadFile(std::string(VELMORA_SOURCE_DIR) + "/" + model.path,
                                                     aiProcess_Triangulate | aiProcess_FlipUVs);
            if (scene && scene->mRootNode) {
                for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
                    const aiMesh* mesh = scene->mMeshes[m];
                    auto at = [mesh](unsigned i) {
                        return glm::vec3(mesh->mVertices[i].x, mesh->mVertices[i].y, mesh->mVertices[i].z);
                    };
                    for (unsigned i = 0; i < mesh->mNumVertices; ++i)
                        model.vertices.push_back(at(i));
                    for (unsigned f = 0; f < mesh->mNumFaces; ++f)
                        if (mesh->mFaces[f].mNumIndices == 3)
                            model.triangles.push_back({at(mesh->mFaces[f].mIndices[0]),
                                                       at(mesh->mFaces[f].mIndices[1]),
                                                       at(mesh->mFaces[f].mIndices[2])});
                }
            }
            models.push_back(model);
        }
    }
    // World-space vertices, for a turning model at every 15 degrees of its turn.
    static std::vector<glm::vec3> worldVertices(const LoadedModel& m)
    {
        std::vector<glm::vec3> points;
        const int turns = m.speed > 0.0f ? 24 : 1;
        for (int k = 0; k < turns; ++k) {
            glm::mat4 matrix = glm::translate(glm::mat4(1.0f), m.position);
            if (k > 0)
                matrix = glm::rotate(matrix, glm::radians(15.0f * k), m.axis);
            for (const glm::vec3& v : m.vertices)
                points.push_back(glm::vec3(matrix * glm::vec4(v, 1.0f)));
        }
        return points;
    }
    // The shadow-casting spot light: the first spot light in name order.
    static const ConfigSection& shadowLight()
    {
        for (const auto& [name, section] : sections)
            if (section.kind == 1 && section.getInt("type") == 1)
                return section;
        throw std::out_of_range("no spot light");
    }
    static const LoadedModel& modelOf(const std::string& file)
    {
        for (const LoadedModel& m : models)
            if (m.path.find(file) != std::string::npos)
                return m;
        throw std::out_of_range("no model from " + file);
    }
    static bool flat(const LoadedModel& m)
    {
        return std::all_of(m.vertices.begin(), m.vertices.end(),
                           [&](const glm::vec3& v) { return v.y == m.vertices.front().y; });
    }

    static std::map<std::string, ConfigSection> sections;
    static std::vector<LoadedModel> models;
};
std::map<std::string, ConfigSection> ShippedScene::sections;
std::vector<LoadedModel> ShippedScene::models;

TEST(AssetGenerator, RemakesEveryCommittedAssetByteForByte)
{
    TempDir dir;
    const std::vector<std::string> written = AssetGenerator::generate(dir.file("assets"));
    const std::set<std::string> made = filesUnder(dir.file("assets"));
    EXPECT_EQ(std::set<std::string>(written.begin(), written.end()), made);
    EXPECT_EQ(made, filesUnder(kAssets)) << "assets/ holds exactly what the generator makes";
    for (const std::string& file : made) {
        if (fs::exists(fs::path(kAssets) / file)) {
            EXPECT_TRUE(readFile(fs::path(dir.file("assets")) / file) == readFile(fs::path(kAssets) / file))
                << file << " differs from what the generator makes";
        }
    }
}

TEST_F(ShippedScene, ParsesAndHasEveryPartInNameOrder)
{
    ASSERT_FALSE(sections.empty());
    // Name order is the intended order: ambient, the shadow-casting spot
    // light, the other lights, the opaque models, the glass.
    std::vector<std::string> roles;
    int pointLights = 0, spotLights = 0, turning = 0, glass = 0;
    std::set<std::string> colors;
    for (const auto& [name, section] : sections) {
        SCOPED_TRACE(name);
        if (section.kind == 2) {
            EXPECT_GT(section.getFloat("ambientStrength"), 0.0f);
            roles.push_back("ambient");
        } else if (section.kind == 1 && section.getInt("type") == 0) {
            ++pointLights;
            const glm::vec3 color = section.getVec3("color");
            EXPECT_GT(color.x + color.y + color.z, 0.5f);
            colors.insert(section.values.at("color"));
            roles.push_back("light");
        } else if (section.kind == 1 && section.getInt("type") == 1) {
            ++spotLights;
            EXPECT_LT(section.getFloat("innerRadius"), section.getFloat("outerRadius"));
            EXPECT_LE(section.getFloat("outerRadius"), 90.0f);
            roles.push_back(spotLights == 1 ? "shadow light" : "light");
        } else if (section.kind == 0) {
            EXPECT_TRUE(fs::exists(std::string(VELMORA_SOURCE_DIR) + "/" + section.getString("path")));
            if (section.getFloat("speed") > 0.0f) {
                ++turning;
                EXPECT_GT(glm::length(section.getVec3("axis")), 0.5f) << "a turning model needs an axis";
            }
            const float t = section.getFloat("transparency");
            if (t > 0.0f && t <= 1.0f) {
                ++glass;
                EXPECT_GT(section.getFloat("refraction"), 0.0f);
                EXPECT_LT(section.getFloat("refraction"), 1.0f) << "air to glass: a ratio below one";
                EXPECT_GT(section.getFloat("reflection"), 0.0f);
                roles.push_back("glass");
            } else {
                roles.push_back("model");
            }
        } else {
            ADD_FAILURE() << "a section the viewer would skip";
        }
    }
    EXPECT_GE(pointLights, 3);
    EXPECT_EQ(colors.size(), static_cast<std::size_t>(pointLights)) << "each point light has its own colour";
    EXPECT_EQ(spotLights, 2);
    EXPECT_GE(turning, 2);
    EXPECT_GE(glass, 2);
    const std::vector<std::string> order = {"ambient", "shadow light", "light", "model", "glass"};
    auto rank = [&](const std::string& role) { return std::find(order.begin(), order.end(), role) - order.begin(); };
    EXPECT_TRUE(std::is_sorted(roles.begin(), roles.end(),
                               [&](const std::string& a, const std::string& b) { return rank(a) < rank(b); }));
}

TEST_F(ShippedScene, ModelsImportWithNormalsTexturesAndWindingThatMatches)
{
    std::set<std::string> formats;
    for (const LoadedModel& m : models) {
        SCOPED_TRACE(m.path);
        formats.insert(fs::path(m.path).extension().string());
        const std::string file = std::string(VELMORA_SOURCE_DIR) + "/" + m.path;
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(file, aiProcess_Triangulate | aiProcess_FlipUVs);
        ASSERT_TRUE(scene && scene->mRootNode && scene->mFlags != AI_SCENE_FLAGS_INCOMPLETE)
            << importer.GetErrorString();
        // The viewer ignores node transforms: the files must not rely on them.
        std::vector<const aiNode*> nodes{scene->mRootNode};
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            EXPECT_TRUE(nodes[i]->mTransformation.IsIdentity());
            nodes.insert(nodes.end(), nodes[i]->mChildren, nodes[i]->mChildren + nodes[i]->mNumChildren);
        }
        for (unsigned k = 0; k < scene->mNumMeshes; ++k) {
            const aiMesh* mesh = scene->mMeshes[k];
            ASSERT_TRUE(mesh->HasNormals());
            ASSERT_TRUE(mesh->HasTextureCoords(0));
            // Textures are clamped, never repeated: every coordinate in [0, 1].
            for (unsigned i = 0; i < mesh->mNumVertices; ++i) {
                const aiVector3D uv = mesh->mTextureCoords[0][i];
                ASSERT_TRUE(uv.x >= -1e-5f && uv.x <= 1.00001f && uv.y >= -1e-5f && uv.y <= 1.00001f);
            }
            // The viewer binds a mesh's first texture only; it must exist,
            // decode, and be small enough not to shimmer when sampled nearest.
            const aiMaterial* material = scene->mMaterials[mesh->mMaterialIndex];
            ASSERT_GE(aiGetMaterialTextureCount(material, aiTextureType_DIFFUSE), 1u);
            aiString name;
            aiGetMaterialTexture(material, aiTextureType_DIFFUSE, 0, &name);
            int w = 0, h = 0, channels = 0;
            const std::string image = (fs::path(file).parent_path() / name.C_Str()).string();
            ASSERT_TRUE(stbi_info(image.c_str(), &w, &h, &channels)) << image;
            EXPECT_EQ(fs::path(image).extension(), ".png");
            EXPECT_TRUE(w >= 64 && w <= 512 && h >= 64 && h <= 512) << image;
            // Every triangle is wound counter-clockwise about its normals,
            // so back-face culling and the front/back glass captures keep
            // the right side.
            long wrong = 0, triangles = 0;
            for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
                const aiFace& face = mesh->mFaces[f];
                ASSERT_EQ(face.mNumIndices, 3u);
                glm::vec3 p[3], n(0.0f);
                for (int c = 0; c < 3; ++c) {
                    const unsigned i = face.mIndices[c];
                    p[c] = {mesh->mVertices[i].x, mesh->mVertices[i].y, mesh->mVertices[i].z};
                    n += glm::vec3(mesh->mNormals[i].x, mesh->mNormals[i].y, mesh->mNormals[i].z);
                }
                const glm::vec3 geometric = glm::cross(p[1] - p[0], p[2] - p[0]);
                if (glm::length(geometric) < 1e-7f)
                    continue;
                ++triangles;
                wrong += glm::dot(geometric, n) <= 0.0f;
            }
            EXPECT_GT(triangles, 0);
            EXPECT_EQ(wrong, 0) << "of " << triangles << " triangles in mesh " << k;
        }
    }
    EXPECT_GE(formats.size(), 2u) << "more than one Assimp importer takes part";
}

TEST_F(ShippedScene, ShadowCastersLieInsideTheFirstSpotLightsView)
{
    // The shadow map looks from the first spot light (by name) with a
    // 90-degree square view from 0.1 to 100 units; its up vector is
    // cross(x axis, direction), so the direction must not run along x.
    const ConfigSection& light = shadowLight();
    const glm::vec3 d = glm::normalize(light.getVec3("direction"));
    ASSERT_GT(glm::length(glm::cross(glm::vec3(1, 0, 0), d)), 0.3f);
    const glm::vec3 position = light.getVec3("position");
    const glm::mat4 view = glm::lookAt(position, position + d, glm::cross(glm::vec3(1, 0, 0), d));
    const glm::mat4 lightSpace = glm::perspective(glm::radians(90.0f), 1.0f, 0.1f, 100.0f) * view;
    int casters = 0;
    for (const LoadedModel& m : models) {
        // Glass casts no shadow; a flat model (the ground) only receives.
        if (m.transparency > 0.0f || flat(m))
            continue;
        SCOPED_TRACE(m.section);
        ++casters;
        float reach = 0.0f, depth = 0.0f;
        for (const glm::vec3& v : worldVertices(m)) {
            const glm::vec4 clip = lightSpace * glm::vec4(v, 1.0f);
            ASSERT_GT(clip.w, 0.0f);
            reach = std::max({reach, std::abs(clip.x / clip.w), std::abs(clip.y / clip.w)});
            depth = std::max(depth, std::abs(clip.z / clip.w));
        }
        // Inside the square view with a margin, and between near and far.
        EXPECT_LT(reach, 0.9f) << "clip-space extent";
        EXPECT_LT(depth, 1.0f) << "clip-space depth";
    }
    EXPECT_GE(casters, 5);
}

// ---- camera path ------------------------------------------------------------

// A segment of the path file with its section name; its points are played
// by the viewer's own Camera::segmentPoint.
struct Segment : PathSegment {
    std::string name;
};
using Track = std::vector<Segment>;

glm::vec3 trackAt(const Track& track, float t)
{
    for (const Segment& segment : track) {
        if (t <= segment.duration)
            return Camera::segmentPoint(segment, t);
        t -= segment.duration;
    }
    return track.back().points.back();
}

float length(const Track& track)
{
    float total = 0.0f;
    for (const Segment& segment : track)
        total += segment.duration;
    return total;
}

// Whether the segment from `a` to `b` crosses `triangle` (placed at
// `offset`), by Moller and Trumbore's test.
bool crosses(const glm::vec3& a, const glm::vec3& b, const std::array<glm::vec3, 3>& triangle, const glm::vec3& offset)
{
    const glm::vec3 p0 = triangle[0] + offset, e1 = triangle[1] - triangle[0], e2 = triangle[2] - triangle[0];
    const glm::vec3 d = b - a, h = glm::cross(d, e2);
    const float det = glm::dot(e1, h);
    if (std::abs(det) < 1e-9f)
        return false;
    const glm::vec3 s = a - p0;
    const float u = glm::dot(s, h) / det;
    const glm::vec3 q = glm::cross(s, e1);
    const float v = glm::dot(d, q) / det;
    const float t = glm::dot(e2, q) / det;
    return u >= 0.0f && v >= 0.0f && u + v <= 1.0f && t > 1e-4f && t < 1.0f;
}

class CameraPath : public ShippedScene {
protected:
    static void SetUpTestSuite()
    {
        ShippedScene::SetUpTestSuite();
        for (const auto& [name, section] : readSections(kAssets + "/animationpath.txt")) {
            Segment segment{{section.getInt("transfer"), section.getFloat("duration"), {}}, name};
            for (int i = 0; i <= section.getInt("degree"); ++i)
                segment.points.push_back(section.getVec3("position" + std::to_string(i)));
            (section.kind == 10 ? eye : target).push_back(segment);
        }
    }
    static Track eye, target;
};
Track CameraPath::eye, CameraPath::target;

TEST_F(CameraPath, TracksJoinSmoothlyAndUseEveryDegreeAndEasing)
{
    std::set<int> degrees, transfers;
    for (const Track* track : {&eye, &target}) {
        ASSERT_GE(track->size(), 4u);
        EXPECT_GE(length(*track), 30.0f);
        for (std::size_t i = 0; i < track->size(); ++i) {
            const Segment& s = (*track)[i];
            SCOPED_TRACE(s.name);
            degrees.insert(static_cast<int>(s.points.size()) - 1);
            transfers.insert(s.transfer);
            EXPECT_GT(s.duration, 0.5f);
            // Zero-padded numbers: name order is play order.
            const std::string number = s.name.substr(s.name.find_first_of("0123456789"));
            EXPECT_EQ(std::stoi(number), static_cast<int>(i) + 1);
            EXPECT_EQ(number.size(), 2u);
            if (i == 0)
                continue;
            const Segment& before = (*track)[i - 1];
            EXPECT_EQ(before.points.back(), s.points.front()) << "starts where the previous segment ended";
            // Velocity across the join, from the eased curve itself.
            const float h = 1e-3f;
            const glm::vec3 out = (Camera::segmentPoint(before, before.duration) -
                                   Camera::segmentPoint(before, before.duration - h)) /
                                  h;
            const glm::vec3 in = (Camera::segmentPoint(s, h) - Camera::segmentPoint(s, 0.0f)) / h;
            EXPECT_LT(glm::length(out - in), 0.02f + 0.01f * glm::length(out))
                << "speed " << glm::length(out) << " then " << glm::length(in);
            // And the curve's direction where both sides have a tangent.
            const glm::vec3 a = before.points.back() - before.points[before.points.size() - 2];
            const glm::vec3 b = s.points[1] - s.points[0];
            if (glm::length(a) > 1e-3f && glm::length(b) > 1e-3f) {
                EXPECT_GT(glm::dot(glm::normalize(a), glm::normalize(b)), 0.9999f);
            }
        }
    }
    EXPECT_NEAR(length(eye), length(target), 0.01f) << "both tracks end together";
    for (int degree : {1, 2, 3, 4})
        EXPECT_EQ(degrees.count(degree), 1u) << "degree " << degree;
    EXPECT_EQ(transfers, (std::set<int>{0, 1, 2, 3}));
}

TEST_F(CameraPath, TourShowsEveryFeatureAndKeepsClearOfTheModels)
{
    // What the eye must keep 0.3 units clear of: a still model's bounding
    // box, and the cylinder a model turning about the vertical sweeps.
    struct Obstacle {
        std::string section;
        glm::vec3 low{1e9f}, high{-1e9f};
        float radius = -1.0f; // a cylinder about the model's position when not negative
        bool contains(const glm::vec3& e, const glm::vec3& centre) const
        {
            if (radius < 0.0f)
                return glm::all(glm::greaterThan(e, low)) && glm::all(glm::lessThan(e, high));
            return e.y > low.y && e.y < high.y && glm::length(glm::vec2(e.x - centre.x, e.z - centre.z)) < radius;
        }
    };
    std::vector<std::pair<Obstacle, glm::vec3>> obstacles;
    for (const LoadedModel& m : models) {
        if (flat(m))
            continue;
        Obstacle obstacle{m.section};
        const bool turnsUpright = m.speed > 0.0f && glm::length(glm::cross(m.axis, glm::vec3(0, 1, 0))) < 1e-6f;
        for (const glm::vec3& v : turnsUpright ? m.vertices : worldVertices(m)) {
            const glm::vec3 w = turnsUpright ? v + m.position : v;
            obstacle.low = glm::min(obstacle.low, w - 0.3f);
            obstacle.high = glm::max(obstacle.high, w + 0.3f);
            if (turnsUpright)
                obstacle.radius = std::max(obstacle.radius, glm::length(glm::vec2(v.x, v.z)) + 0.3f);
        }
        obstacles.push_back({obstacle, m.position});
    }
    // Plaza ground points (on a 1-unit grid) in the colonnade's shadow:
    // the segment from the point to the shadow light crosses the colonnade.
    const glm::vec3 light = shadowLight().getVec3("position");
    const LoadedModel& colonnade = modelOf("colonnade");
    std::vector<glm::vec3> shadowed;
    for (float x = -11.5f; x < 12.0f; x += 1.0f)
        for (float z = -11.5f; z < 12.0f; z += 1.0f)
            for (const auto& triangle : colonnade.triangles)
                if (crosses({x, 0.0f, z}, light, triangle, colonnade.position)) {
                    shadowed.push_back({x, 0.0f, z});
                    break;
                }
    ASSERT_GE(shadowed.size(), 20u) << "the colonnade throws long shadows across the plaza";
    struct Feature {
        const char* name;
        std::vector<glm::vec3> points;
        float within;  // how close the eye must be while it looks
        std::size_t needed; // how many of the points must be in view at once
        float seconds = 0.0f;
    };
    std::vector<Feature> features = {
        {"glass sphere", {modelOf("glass_sphere").position}, 8.0f, 1},
        {"glass teapot", {modelOf("teapot").position + glm::vec3(0, 1, 0)}, 8.0f, 1},
        {"fountain", {{-6.0f, 1.0f, 2.0f}}, 8.0f, 1},
        {"burst", {{5.0f, 25.0f, 5.0f}}, 35.0f, 1},
        {"colonnade shadow", shadowed, 20.0f, 5},
    };
    const float step = 0.02f, end = length(eye);
    const float tanHalf = std::tan(glm::radians(22.5f)), aspect = 1920.0f / 1080.0f;
    for (float t = 0.0f; t <= end; t += step) {
        const glm::vec3 e = trackAt(eye, t), look = trackAt(target, t);
        const glm::vec3 front = look - e;
        ASSERT_GT(glm::length(front), 1.0f) << "eye on the target at " << t;
        const glm::vec3 f = glm::normalize(front);
        ASSERT_LT(std::abs(f.y), 0.95f) << "looking straight up or down at " << t;
        ASSERT_GT(e.y, 0.8f) << "eye in the ground at " << t;
        for (const auto& [obstacle, centre] : obstacles)
            ASSERT_FALSE(obstacle.contains(e, centre)) << "eye within 0.3 of " << obstacle.section << " at " << t;
        // The view as Camera aims it: right from the world's up.
        const glm::vec3 right = glm::normalize(glm::cross(f, glm::vec3(0, 1, 0)));
        const glm::vec3 up = glm::cross(right, f);
        for (Feature& feature : features) {
            std::size_t inView = 0;
            for (const glm::vec3& point : feature.points) {
                const glm::vec3 v = point - e;
                const float depth = glm::dot(v, f);
                // Near enough and inside the middle 80% of the frame.
                inView += depth > 0.0f && glm::length(v) < feature.within &&
                          std::abs(glm::dot(v, up)) < 0.8f * depth * tanHalf &&
                          std::abs(glm::dot(v, right)) < 0.8f * depth * tanHalf * aspect;
            }
            if (inView >= feature.needed)
                feature.seconds += step;
        }
    }
    for (const Feature& feature : features) {
        // A burst comes every 1.875 s: show its place for longer than that.
        EXPECT_GT(feature.seconds, 2.0f) << feature.name << " is shown for " << feature.seconds << " s";
    }
}

} // namespace
