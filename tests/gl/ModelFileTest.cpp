// Model files as their authors made them: node placement, material colours,
// repeating textures, embedded and misnamed textures, the scene's scale key,
// and a file that would take the viewer down. Every file is written here.
#include "LitSceneTest.h"
#include "ModelFiles.h"
#include "import/ImportProcess.h"
#include "render/Mesh.h"
#include "render/Model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>

namespace {

// glTF 2 of the shared quad with material `material`, placed by node 0 at
// (-5, 0, 0) scaled 2 and by its child node 1 at (5, 0, 0) from there. With
// `image`, a .glb that embeds it as texture 0.
std::string gltf(const TempDir& dir, const std::string& material, const std::string& image = "")
{
    GltfQuad quad;
    quad.material = material;
    quad.embedded = image;
    quad.nodes = R"({"mesh":0,"translation":[-2.5,0,0],"scale":[2,2,2],"children":[1]},{"mesh":0,"translation":[2.5,0,0]})";
    return writeGltf(dir, quad);
}

// An 8 x 8 quad at y = 0 whose uvs run 0..4, with normals of zero length
// (as STL exporters write them), textured by `texture` through m.mtl.
std::string tiledObj(const TempDir& dir, const std::string& texture)
{
    dir.write("m.mtl", "newmtl m\nmap_Kd " + texture + "\n");
    dir.write("tiled.obj", "mtllib m.mtl\nv -4 0 4\nv 4 0 4\nv 4 0 -4\nv -4 0 -4\nvt 0 0\nvt 4 0\nvt 4 4\nvt 0 4\n"
                           "vn 0 0 0\nusemtl m\nf 1/1/1 2/2/1 3/3/1\nf 1/1/1 3/3/1 4/4/1\n");
    return dir.file("tiled.obj");
}

// The lit pass under white ambient light only.
class ModelFileTest : public LitSceneTest {
protected:
    // A scene of the model at `path`, plus `extra` sections.
    Scene& loadModel(const std::string& path, const std::string& extra = "")
    {
        return load("$ light 2\nambientStrength 0 1\nambientColor 0 1,1,1\n$ model 0\npath 0 " + path + "\n" + extra);
    }
    // The texture a mesh draws with on unit 0: its first texel, as RGB.
    std::vector<unsigned char> drawnTexel(Mesh& mesh)
    {
        shader->use();
        mesh.draw(glm::mat4(1.0f), shader->getProgram());
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        return textureBytes(static_cast<GLuint>(bound), 1, 1);
    }
};

TEST_F(ModelFileTest, GltfNodesPlaceTheirMeshAndItsRedBaseColourShows)
{
    Scene& scene = loadModel(gltf(dir, R"({"pbrMetallicRoughness":{"baseColorFactor":[1,0,0,1]}})"));
    ASSERT_EQ(scene.getModels()[0]->getMeshes().size(), 2u) << errors;
    const Image image = render(scene);
    // Node 0: 2 x 2 at x = -2.5; node 1 inherits its scale: (-2.5 + 2 * 2.5).
    expectColour(probe(image, {-2.5f, 0, 0}), {1, 0, 0}, "node 0");
    expectColour(probe(image, {2.5f, 0, 0}), {1, 0, 0}, "node 1");
    expectColour(probe(image, {0.5f, 0, 0}), {0, 0, 0}, "between the nodes");
    expectColour(probe(image, {-2.5f, 0, 1.8f}), {0, 0, 0}, "past node 0");
    // Normals were generated facing up and survive the node transform.
    for (const Vertex& vertex : scene.getModels()[0]->getMeshes()[1]->getVertices())
        EXPECT_NEAR(glm::distance(vertex.normal, glm::vec3(0, 1, 0)), 0.0f, 1e-5f);
}

// glTF's base colour is linear and reaches the sRGB-decoding shader encoded;
// OBJ's Kd is kept as written, as a texel would be.
TEST_F(ModelFileTest, UntexturedMaterialsShowTheirColourInEachFormatsColourSpace)
{
    dir.write("k.mtl", "newmtl k\nKd 0.2 0.2 0.2\nnewmtl r\nKd 1 0 0\n");
    const std::string obj = "mtllib k.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl ";
    dir.write("grey.obj", obj + "k\nf 1 2 3\n");
    dir.write("red.obj", obj + "r\nf 1 2 3\n");
    const struct {
        std::string path;
        std::vector<unsigned char> texel;
    } cases[] = {{dir.file("grey.obj"), {51, 51, 51}},
                 {dir.file("red.obj"), {255, 0, 0}},
                 {gltf(dir, R"({"pbrMetallicRoughness":{"baseColorFactor":[0.2,0.2,0.2,1]}})"), {124, 124, 124}}};
    for (const auto& c : cases) {
        Scene& scene = loadModel(c.path);
        ASSERT_FALSE(scene.getModels()[0]->getMeshes().empty()) << c.path << errors;
        EXPECT_EQ(drawnTexel(*scene.getModels()[0]->getMeshes()[0]), c.texel) << c.path;
    }
    // Two colours of one load that differ only in blue get a texture each.
    dir.write("rm.mtl", "newmtl r\nKd 1 0 0\nnewmtl m\nKd 1 0 1\n");
    dir.write("rm.obj", "mtllib rm.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl r\nf 1 2 3\nusemtl m\nf 1 3 2\n");
    const auto& meshes = loadModel(dir.file("rm.obj")).getModels()[0]->getMeshes();
    ASSERT_EQ(meshes.size(), 2u) << errors;
    const std::set<std::vector<unsigned char>> texels{drawnTexel(*meshes[0]), drawnTexel(*meshes[1])};
    EXPECT_EQ(texels, (std::set<std::vector<unsigned char>>{{255, 0, 0}, {255, 0, 255}}));
}

TEST_F(ModelFileTest, UvsFromZeroToFourTileTheTextureFourTimesEachWay)
{
    // A checker of 2 x 2 squares of 8 x 8 texels: 8 x 8 cells of one unit
    // on the quad when it repeats; clamped, all but the first two rows and
    // columns would be one colour. (Squares of several texels keep the cell
    // centres clear of the texels a filter blends in, anisotropic ones too.)
    std::vector<unsigned char> checker;
    for (int i = 0; i < 16 * 16; ++i) {
        const unsigned char level = (i % 16 < 8) == (i / 16 < 8) ? 255 : 0;
        checker.insert(checker.end(), {level, level, level, 255});
    }
    dir.write("checker.png", pngFile(16, 16, checker));
    Scene& scene = loadModel(tiledObj(dir, "checker.png"));
    const Image image = render(scene);
    // Cell centres are texel centres, unblended: white about 200, black 0.
    const auto white = [&](int row, int column) {
        const float level = probe(image, {-3.5f + column, 0, -3.5f + row}).r;
        EXPECT_TRUE(level > 150.0f || level < 20.0f) << "cell " << row << ", " << column << ": " << level;
        return level > 150.0f;
    };
    // OBJ's v runs up the image: the far left cell shows the image's top left (white).
    EXPECT_TRUE(white(0, 0));
    for (int row = 0; row < 8; ++row)
        for (int column = 0; column < 8; ++column) {
            if (column < 7) {
                EXPECT_NE(white(row, column), white(row, column + 1)) << "cells " << row << ", " << column << "+1";
            }
            if (row < 7) {
                EXPECT_NE(white(row, column), white(row + 1, column)) << "cells " << row << "+1, " << column;
            }
        }
    for (const Vertex& vertex : scene.getModels()[0]->getMeshes()[0]->getVertices())
        EXPECT_EQ(vertex.normal, glm::vec3(0, 1, 0)) << "zero normals are replaced";
}

TEST_F(ModelFileTest, TextureEmbeddedInAGlbShows)
{
    std::vector<unsigned char> green;
    for (int i = 0; i < 16; ++i)
        green.insert(green.end(), {0, 255, 0, 255});
    Scene& scene = loadModel(gltf(dir, R"({"pbrMetallicRoughness":{"baseColorTexture":{"index":0}}})", pngFile(4, 4, green)));
    EXPECT_EQ(output.find("Failed to load texture"), std::string::npos) << output;
    expectColour(probe(render(scene), {-2.5f, 0, 0}), {0, 1, 0}, "embedded texture");
}

TEST_F(ModelFileTest, TextureNamesWithBackslashesOtherCaseOrAForeignDirectoryAreFound)
{
    const struct {
        std::string name;
        std::string file;
    } cases[] = {{"tex\\a\\Blue.png", "tex/a/Blue.png"},
                 {"BLUE.PNG", "blue.png"},
                 {"tex/BLUE.PNG", "tex/blue.png"},
                 {"D:\\art\\Blue.png", "blue.png"}};
    for (const auto& c : cases) {
        TempDir files;
        files.write(c.file, pngFile(1, 1, {0, 0, 255, 255}));
        Scene& scene = loadModel(tiledObj(files, c.name));
        EXPECT_EQ(output.find("Failed to load texture"), std::string::npos) << output;
        ASSERT_FALSE(scene.getModels()[0]->getMeshes().empty()) << errors;
        EXPECT_EQ(drawnTexel(*scene.getModels()[0]->getMeshes()[0]), (std::vector<unsigned char>{0, 0, 255}))
            << c.name;
    }
}

// Stands in for a parser that crashes on a file (called in the import
// process before each file).
void crashOnCrashObj(const std::string& path)
{
    if (path.size() >= 9 && path.compare(path.size() - 9, 9, "crash.obj") == 0)
        std::abort();
}

// A file that declares 353535235358 vertices: in the viewer's own process
// Assimp would fill memory for a minute, then abort on an assertion. A file
// that crashes the import process takes only itself: the models after it
// come from a new one.
TEST_F(ModelFileTest, FileThatBreaksTheImporterIsSkippedWithOneLineAndTheSceneGoesOn)
{
    dir.write("huge.off", "OFF\n353535235358 6 0\n-0.5 -0.5 0.5\n0.5 -0.5 0.5\n-0.5 0.5 0.5\n4 0 1 3 2\n");
    dir.write("ok.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    dir.write("crash.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    dir.write("after.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ImportProcess::childHook = &crashOnCrashObj;
    // Files are dealt to two import processes in turn: after.obj follows
    // crash.obj in the same one.
    Scene& scene = loadModel(dir.file("huge.off"), "$ second 0\npath 0 " + dir.file("crash.obj") +
                                                       "\n$ third 0\npath 0 " + dir.file("ok.obj") +
                                                       "\n$ zfourth 0\npath 0 " + dir.file("after.obj") + "\n");
    ImportProcess::childHook = nullptr;
    ASSERT_EQ(scene.getModels().size(), 4u);
    EXPECT_TRUE(scene.getModels()[0]->getMeshes().empty());
    EXPECT_TRUE(scene.getModels()[1]->getMeshes().empty());
    EXPECT_EQ(scene.getModels()[2]->getMeshes().size(), 1u);
    EXPECT_EQ(scene.getModels()[3]->getMeshes().size(), 1u);
    const std::size_t firstEnd = errors.find('\n');
    EXPECT_EQ(errors.rfind("ERROR::ASSIMP:: ", 0), 0u) << errors;
    EXPECT_NE(errors.find("huge.off"), std::string::npos) << errors;
    const std::string crashed = "ERROR::ASSIMP:: import of " + dir.file("crash.obj") + " crashed";
    EXPECT_EQ(errors.compare(firstEnd + 1, crashed.size(), crashed), 0) << errors;
    EXPECT_EQ(errors.find('\n', firstEnd + 1), errors.size() - 1) << "one line each: " << errors;
}

// A file the scene names twice is imported once, and both models get its
// meshes: the second is made from the hand-over memory kept for it while
// another file loads between them.
TEST_F(ModelFileTest, FileNamedTwiceGivesBothModelsItsMeshes)
{
    dir.write("twice.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 2 4 3\n");
    dir.write("between.obj", "v 0 0 0\nv 2 0 0\nv 0 2 0\nf 1 2 3\n");
    Scene& scene = loadModel(dir.file("twice.obj"), "$ model2 0\npath 0 " + dir.file("between.obj") +
                                                        "\n$ model3 0\npath 0 " + dir.file("twice.obj") + "\n");
    ASSERT_EQ(scene.getModels().size(), 3u);
    const auto positions = [&](std::size_t model) {
        std::vector<glm::vec3> result;
        for (const std::shared_ptr<Mesh>& mesh : scene.getModels()[model]->getMeshes())
            for (unsigned int index : mesh->getIndices())
                result.push_back(mesh->getVertices().at(index).position);
        return result;
    };
    const std::vector<glm::vec3> first = positions(0);
    ASSERT_EQ(first.size(), 6u) << errors;
    EXPECT_EQ(first[4], glm::vec3(1, 1, 0));
    EXPECT_EQ(positions(2), first);
    EXPECT_EQ(positions(1).size(), 3u);
}

TEST_F(ModelFileTest, ScaleKeyScalesAboutTheOriginBeforeTurnAndMoveAndDefaultsToOne)
{
    const std::string turning = "position 0 1,2,3\naxis 0 0,1,0\nspeed 0 90\n";
    Scene& scene = loadModel("absent.obj", turning + "scale 0 2\n$ plain 0\npath 0 absent.obj\n" + turning);
    scene.update(1.0f);
    // x = 1 scaled to 2, turned 90 degrees about y to z = -2, moved.
    const glm::vec4 scaled = scene.getModels()[0]->modelMatrix() * glm::vec4(1, 0, 0, 1);
    const glm::vec4 plain = scene.getModels()[1]->modelMatrix() * glm::vec4(1, 0, 0, 1);
    EXPECT_NEAR(glm::distance(glm::vec3(scaled), glm::vec3(1, 2, 1)), 0.0f, 1e-5f);
    EXPECT_NEAR(glm::distance(glm::vec3(plain), glm::vec3(1, 2, 2)), 0.0f, 1e-5f);
}

TEST_F(ModelFileTest, RotationKeyTurnsAboutXThenYThenZBetweenScaleAndTheTurningAndTheAngleStaysEven)
{
    Scene& scene = loadModel("absent.obj", "position 0 1,2,3\naxis 0 1,0,0\nspeed 0 90\nscale 0 2\n"
                                           "rotation 0 90,0,90\n");
    scene.update(1.0f);
    // (1, 0, 0) scaled to (2, 0, 0); about x: unchanged; about z: (0, 2, 0);
    // the turning, 90 degrees about x: (0, 0, 2); moved to (1, 2, 5). Turning
    // before the fixed orientation would give (1, 4, 3), z before x (1, 2, 3).
    const glm::vec4 placed = scene.getModels()[0]->modelMatrix() * glm::vec4(1, 0, 0, 1);
    EXPECT_NEAR(glm::distance(glm::vec3(placed), glm::vec3(1, 2, 5)), 0.0f, 1e-5f);

    // After about 12 days at 90 degrees a second, a 60 Hz frame still turns
    // the model by 1.5 degrees: the angle is kept within one turn.
    Model& model = *scene.getModels()[0];
    model.update(1e6f);
    const float before = model.getAngle();
    model.update(1.0f / 60.0f);
    EXPECT_GE(before, 0.0f);
    EXPECT_LT(before, 360.0f);
    EXPECT_NEAR(std::fmod(model.getAngle() - before + 360.0f, 360.0f), 1.5f, 1e-3f);
}

} // namespace
