#include "GlContext.h"
#include "TempDir.h"
#include "TestImages.h"
#include "render/AssimpConverter.h"
#include "render/Mesh.h"
#include "render/Model.h"
#include "render/ModelLoader.h"
#include "render/Shader.h"

#include <assimp/material.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <unistd.h>

namespace {

const std::vector<unsigned char> red = {255, 0, 0, 255};
const std::vector<unsigned char> green = {0, 255, 0, 255};
const std::vector<unsigned char> blue = {0, 0, 255, 255};
const std::vector<unsigned char> yellow = {255, 255, 0, 255};

// First pixel of a texture's image.
std::vector<unsigned char> firstPixel(GLuint texture)
{
    std::vector<unsigned char> pixels = readTexture(texture);
    pixels.resize(4);
    return pixels;
}

// Two triangles as the OBJ objects "a" and "b", both with material "m" of
// mtl file `mtl`.
std::string twoObjectObj(const std::string& mtl)
{
    return "mtllib " + mtl +
           "\n"
           "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
           "vt 0 0\nvt 1 0\nvt 0 1\nvt 1 1\n"
           "vn 0 0 1\n"
           "o a\nusemtl m\nf 1/1/1 2/2/1 3/3/1\n"
           "o b\nusemtl m\nf 2/2/1 4/4/1 3/3/1\n";
}

std::string base64(const std::vector<unsigned char>& bytes)
{
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned int chunk = bytes[i] << 16;
        if (i + 1 < bytes.size())
            chunk |= bytes[i + 1] << 8;
        if (i + 2 < bytes.size())
            chunk |= bytes[i + 2];
        out += alphabet[(chunk >> 18) & 63];
        out += alphabet[(chunk >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(chunk >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[chunk & 63] : '=';
    }
    return out;
}

// A glTF 2 file with three one-triangle meshes; mesh i lies at x = 10 * i.
// Node tree: root (mesh 2) -> A (mesh 1) -> B (mesh 0).
std::string nestedGltf()
{
    std::vector<float> positions;
    for (int mesh = 0; mesh < 3; ++mesh) {
        const float x = 10.0f * mesh;
        positions.insert(positions.end(), {x, 0, 0, x + 1, 0, 0, x, 1, 0});
    }
    std::vector<unsigned char> bytes(positions.size() * sizeof(float));
    std::memcpy(bytes.data(), positions.data(), bytes.size());

    std::string accessors;
    std::string meshes;
    for (int mesh = 0; mesh < 3; ++mesh) {
        const std::string x = std::to_string(10 * mesh);
        const std::string x1 = std::to_string(10 * mesh + 1);
        accessors += std::string(mesh ? "," : "") + R"({"bufferView":0,"byteOffset":)" + std::to_string(36 * mesh) +
                     R"(,"componentType":5126,"count":3,"type":"VEC3","min":[)" + x + R"(,0,0],"max":[)" + x1 +
                     R"(,1,0]})";
        meshes += std::string(mesh ? "," : "") + R"({"primitives":[{"attributes":{"POSITION":)" +
                  std::to_string(mesh) + "}}]}";
    }
    return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],)"
           R"("nodes":[{"name":"root","mesh":2,"children":[1]},{"name":"A","mesh":1,"children":[2]},)"
           R"({"name":"B","mesh":0}],"meshes":[)" +
           meshes + R"(],"accessors":[)" + accessors + R"(],"bufferViews":[{"buffer":0,"byteLength":108}],)" +
           R"("buffers":[{"byteLength":108,"uri":"data:application/octet-stream;base64,)" + base64(bytes) + R"("}]})";
}

// Runs with the working directory set to `path`, restoring it afterwards.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& path)
    {
        char buffer[4096];
        if (getcwd(buffer, sizeof buffer))
            previous = buffer;
        ok = chdir(path.c_str()) == 0;
    }
    ~WorkingDirectory()
    {
        if (!previous.empty() && chdir(previous.c_str()) != 0)
            ADD_FAILURE() << "could not return to " << previous;
    }
    bool ok = false;

private:
    std::string previous;
};

// Standard input replaced by a pipe holding `text`, restored afterwards.
class StdinWith {
public:
    explicit StdinWith(const std::string& text)
    {
        int fds[2];
        saved = dup(0);
        if (pipe(fds) != 0 || write(fds[1], text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            return;
        close(fds[1]);
        dup2(fds[0], 0);
        close(fds[0]);
        clearerr(stdin);
    }
    ~StdinWith()
    {
        dup2(saved, 0);
        close(saved);
        clearerr(stdin);
    }

private:
    int saved = -1;
};

class ModelImportTest : public GlTest {
protected:
    TempDir dir;
    ModelLoader loader;
};

// aiMesh / aiScene built in memory, for cases real exporters rarely write.
aiMesh* makeMesh(std::vector<aiVector3D> positions, std::vector<std::vector<unsigned int>> faces)
{
    auto* mesh = new aiMesh();
    mesh->mNumVertices = static_cast<unsigned int>(positions.size());
    mesh->mVertices = new aiVector3D[positions.size()];
    std::copy(positions.begin(), positions.end(), mesh->mVertices);
    mesh->mNumFaces = static_cast<unsigned int>(faces.size());
    mesh->mFaces = new aiFace[faces.size()];
    for (size_t f = 0; f < faces.size(); ++f) {
        mesh->mFaces[f].mNumIndices = static_cast<unsigned int>(faces[f].size());
        mesh->mFaces[f].mIndices = new unsigned int[faces[f].size()];
        std::copy(faces[f].begin(), faces[f].end(), mesh->mFaces[f].mIndices);
    }
    return mesh;
}

std::unique_ptr<aiScene> sceneWith(aiMesh* mesh, aiMaterial* material)
{
    auto scene = std::make_unique<aiScene>();
    scene->mNumMeshes = 1;
    scene->mMeshes = new aiMesh*[1]{mesh};
    scene->mNumMaterials = 1;
    scene->mMaterials = new aiMaterial*[1]{material};
    return scene;
}

} // namespace

TEST(ModelLoaderPaths, DirectoryOfCutsAtTheLastSlashOrBackslashAndEndsWithSlash)
{
    EXPECT_EQ(ModelLoader::directoryOf("assets/models/wheel.obj"), "assets/models/");
    EXPECT_EQ(ModelLoader::directoryOf("assets\\models\\wheel.obj"), "assets\\models/");
    EXPECT_EQ(ModelLoader::directoryOf("assets\\models/wheel.obj"), "assets\\models/");
    EXPECT_EQ(ModelLoader::directoryOf("assets/models\\wheel.obj"), "assets/models/");
    EXPECT_EQ(ModelLoader::directoryOf("wheel.obj"), "");
    EXPECT_EQ(ModelLoader::directoryOf(""), "");
    EXPECT_EQ(ModelLoader::directoryOf("/wheel.obj"), "/");
    EXPECT_EQ(ModelLoader::directoryOf("models/"), "models/");
}

TEST(ModelLoaderPaths, TexturePathFollowsAssimpsFixedSizeStringLimits)
{
    EXPECT_EQ(ModelLoader::texturePath("a\\b.obj", "t.png"), "a/t.png");
    EXPECT_EQ(ModelLoader::texturePath("b.obj", "t.png"), "t.png");

    // The directory is cut to 1023 characters.
    const std::string longDirectory(2000, 'd');
    EXPECT_EQ(ModelLoader::texturePath(longDirectory + "/m.obj", "t.png"), std::string(1023, 'd'));
    // A name is appended only while the joined text stays below 1024.
    const std::string directory(999, 'd'); // 1000 with its '/'
    EXPECT_EQ(ModelLoader::texturePath(directory + "/m.obj", std::string(23, 'n')),
              directory + "/" + std::string(23, 'n'));
    EXPECT_EQ(ModelLoader::texturePath(directory + "/m.obj", std::string(24, 'n')), directory + "/");
}

TEST_F(ModelImportTest, MeshesComeInPreOrderOfTheNodeTree)
{
    dir.write("nested.gltf", nestedGltf());
    const std::shared_ptr<Model> model = loader.loadModel(dir.file("nested.gltf"));
    ASSERT_EQ(model->getMeshes().size(), 3u);
    // Mesh i sits at x = 10 i; node transforms are not applied.
    const float expectedX[] = {20.0f, 10.0f, 0.0f};
    for (int i = 0; i < 3; ++i) {
        const Mesh& mesh = *model->getMeshes()[i];
        ASSERT_EQ(mesh.getVertices().size(), 3u);
        EXPECT_FLOAT_EQ(mesh.getVertices()[0].position.x, expectedX[i]) << "mesh " << i;
        EXPECT_EQ(mesh.getIndices(), (std::vector<unsigned int>{0, 1, 2}));
    }
}

TEST_F(ModelImportTest, VerticesReachTheGpuAsPackedThirtyTwoByteRecords)
{
    dir.write("quad.obj", twoObjectObj("none.mtl"));
    testing::internal::CaptureStderr();
    const std::shared_ptr<Model> model = loader.loadModel(dir.file("quad.obj"));
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(model->getMeshes().size(), 2u);
    const Mesh& mesh = *model->getMeshes()[1];
    ASSERT_EQ(mesh.getVertices().size(), 3u);

    glBindVertexArray(mesh.getVertexArray());
    const GLint expectedSizes[] = {3, 3, 2};
    const GLint expectedOffsets[] = {0, 12, 24};
    // All three attributes read the one interleaved buffer of attribute 0.
    GLint buffer = 0;
    glGetVertexAttribiv(0, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &buffer);
    EXPECT_NE(buffer, 0);
    for (GLuint attribute = 0; attribute < 3; ++attribute) {
        SCOPED_TRACE(testing::Message() << "attribute " << attribute);
        GLint value = 0;
        glGetVertexAttribiv(attribute, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &value);
        EXPECT_EQ(value, GL_TRUE);
        glGetVertexAttribiv(attribute, GL_VERTEX_ATTRIB_ARRAY_SIZE, &value);
        EXPECT_EQ(value, expectedSizes[attribute]);
        glGetVertexAttribiv(attribute, GL_VERTEX_ATTRIB_ARRAY_STRIDE, &value);
        EXPECT_EQ(value, 32);
        void* offset = nullptr;
        glGetVertexAttribPointerv(attribute, GL_VERTEX_ATTRIB_ARRAY_POINTER, &offset);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(offset), static_cast<std::uintptr_t>(expectedOffsets[attribute]));
        glGetVertexAttribiv(attribute, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &value);
        EXPECT_EQ(value, buffer);
    }
    GLint elements = 0;
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elements);
    glBindVertexArray(0);

    // Triangle 2 4 3 of the file, with uv flipped in v and the shared normal.
    std::vector<float> data(3 * 8);
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(buffer));
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, 96, data.data());
    const std::vector<float> expected = {1, 0, 0, 0, 0, 1, 1, 1, //
                                         1, 1, 0, 0, 0, 1, 1, 0, //
                                         0, 1, 0, 0, 0, 1, 0, 0};
    EXPECT_EQ(data, expected);
    std::vector<unsigned int> indices(3);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLuint>(elements));
    glGetBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, 12, indices.data());
    EXPECT_EQ(indices, mesh.getIndices());
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

TEST_F(ModelImportTest, TextureSlotsFollowDiffuseSpecularNormalHeightOrder)
{
    // In OBJ materials map_bump lands in Assimp's height slot and map_Ka in
    // its ambient slot.
    writeSolidPng(dir, "d.png", 2, 2, 4, red);
    writeSolidPng(dir, "s.png", 2, 2, 4, green);
    writeSolidPng(dir, "n.png", 2, 2, 4, blue);
    writeSolidPng(dir, "h.png", 2, 2, 4, yellow);
    dir.write("m.mtl", "newmtl m\nmap_Ka h.png\nmap_bump n.png\nmap_Ks s.png\nmap_Kd d.png\n");
    dir.write("m.obj", twoObjectObj("m.mtl"));
    const std::shared_ptr<Model> model = loader.loadModel(dir.file("m.obj"));
    ASSERT_FALSE(model->getMeshes().empty());
    const std::vector<Texture>& textures = model->getMeshes()[0]->getTextures();
    ASSERT_EQ(textures.size(), 4u);
    const char* types[] = {"texture_diffuse", "texture_specular", "texture_normal", "texture_height"};
    const std::vector<unsigned char>* colours[] = {&red, &green, &blue, &yellow};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(textures[i].type, types[i]);
        EXPECT_EQ(firstPixel(textures[i].id), *colours[i]) << types[i];
    }
    // Trilinear filtering and repeating edges on every material texture.
    const std::pair<GLenum, GLint> parameters[] = {{GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR},
                                                   {GL_TEXTURE_MAG_FILTER, GL_LINEAR},
                                                   {GL_TEXTURE_WRAP_S, GL_REPEAT},
                                                   {GL_TEXTURE_WRAP_T, GL_REPEAT}};
    for (const Texture& texture : textures) {
        glBindTexture(GL_TEXTURE_2D, texture.id);
        for (const auto& [name, expected] : parameters) {
            GLint value = 0;
            glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
            EXPECT_EQ(value, expected) << texture.type << ", parameter 0x" << std::hex << name;
        }
    }
}

TEST_F(ModelImportTest, TwoMeshesSharingOneTextureFileGetTwoTexturesWithTheSameImage)
{
    writeSolidPng(dir, "shared.png", 2, 2, 4, green);
    dir.write("m.mtl", "newmtl m\nmap_Kd shared.png\n");
    dir.write("m.obj", twoObjectObj("m.mtl"));
    const std::shared_ptr<Model> model = loader.loadModel(dir.file("m.obj"));
    ASSERT_EQ(model->getMeshes().size(), 2u);
    const std::vector<Texture>& first = model->getMeshes()[0]->getTextures();
    const std::vector<Texture>& second = model->getMeshes()[1]->getTextures();
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(first[0].id, second[0].id);
    EXPECT_TRUE(glIsTexture(first[0].id));
    EXPECT_TRUE(glIsTexture(second[0].id));
    EXPECT_EQ(readTexture(first[0].id), readTexture(second[0].id));
    EXPECT_EQ(firstPixel(first[0].id), green);
}

TEST_F(ModelImportTest, BackslashModelPathFindsTexturesInItsDirectory)
{
    // On this platform "sub\\m.obj" is one file name; its textures are still
    // looked for in "sub/". A decoy of the same name sits beside the model.
    writeSolidPng(dir, "sub/t.png", 2, 2, 4, blue);
    writeSolidPng(dir, "t.png", 2, 2, 4, red);
    dir.write("sub/m.mtl", "newmtl m\nmap_Kd t.png\n");
    dir.write("sub\\m.obj", twoObjectObj("m.mtl"));
    testing::internal::CaptureStdout();
    const std::shared_ptr<Model> model = loader.loadModel(dir.file("sub\\m.obj"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_FALSE(model->getMeshes().empty());
    ASSERT_EQ(model->getMeshes()[0]->getTextures().size(), 1u);
    EXPECT_EQ(firstPixel(model->getMeshes()[0]->getTextures()[0].id), blue);
}

TEST_F(ModelImportTest, ModelPathWithoutDirectoryUsesBareTextureNamesFromTheWorkingDirectory)
{
    writeSolidPng(dir, "t.png", 2, 2, 4, yellow);
    dir.write("m.mtl", "newmtl m\nmap_Kd t.png\n");
    dir.write("m.obj", twoObjectObj("m.mtl"));
    WorkingDirectory cwd(dir.path());
    ASSERT_TRUE(cwd.ok);
    testing::internal::CaptureStdout();
    const std::shared_ptr<Model> model = loader.loadModel("m.obj");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(model->getMeshes().size(), 2u);
    EXPECT_EQ(firstPixel(model->getMeshes()[1]->getTextures()[0].id), yellow);
}

TEST_F(ModelImportTest, MissingTextureIsReportedAndTheSlotShowsWhite)
{
    dir.write("m.mtl", "newmtl m\nmap_Kd gone.png\n");
    dir.write("m.obj", twoObjectObj("m.mtl"));
    testing::internal::CaptureStdout();
    const std::shared_ptr<Model> model = loader.loadModel(dir.file("m.obj"));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Failed to load texture " + dir.file("gone.png") + "\nFailed to load texture " +
                       dir.file("gone.png") + "\n");
    ASSERT_EQ(model->getMeshes().size(), 2u);
    ASSERT_EQ(model->getMeshes()[0]->getTextures().size(), 1u);
    int width = 0;
    const std::vector<unsigned char> pixels = readTexture(model->getMeshes()[0]->getTextures()[0].id, &width);
    EXPECT_EQ(width, 1);
    EXPECT_EQ(pixels, (std::vector<unsigned char>{255, 255, 255, 255}));
}

TEST_F(ModelImportTest, PointAndLineFacesAreDroppedAndTrianglesKept)
{
    // One OBJ object holding a point, a line and a triangle: Assimp keeps
    // all three faces in one mesh.
    dir.write("mixed.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\np 1\nl 1 2\nf 1 2 3\n");
    const std::shared_ptr<Model> model = loader.loadModel(dir.file("mixed.obj"));
    ASSERT_EQ(model->getMeshes().size(), 1u);
    const Mesh& mesh = *model->getMeshes()[0];
    ASSERT_EQ(mesh.getIndices().size(), 3u);
    for (unsigned int index : mesh.getIndices())
        EXPECT_LT(index, mesh.getVertices().size());
    const glm::vec3 corners[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(mesh.getVertices()[mesh.getIndices()[i]].position, corners[i]);
}

TEST_F(ModelImportTest, ConvertMeshSkipsTrianglesWithIndicesPastTheVertexList)
{
    aiMesh* mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}},
                            {{0, 1, 2}, {1, 3, 4}, {0}, {2, 3}, {1, 3, 2}, {0, 1, 2, 3}});
    auto scene = sceneWith(mesh, new aiMaterial());
    ImportedModel imported;
    const ImportedMesh converted = AssimpConverter().convertMesh(mesh, scene.get(), aiMatrix4x4(), imported);
    // Only (0, 1, 2) and (1, 3, 2) are whole triangles.
    ASSERT_EQ(converted.indices.size(), 6u);
    const glm::vec3 kept[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(converted.vertices[converted.indices[i]].position, kept[i]) << "corner " << i;
}

TEST_F(ModelImportTest, MeshWithoutNormalsKeepsFlatFacesAcrossASharpFoldAndMissingUvsGetZeroes)
{
    // Two triangles sharing the edge 1-2, folded along it by more than the
    // crease angle: without normals each gets its own corners carrying its
    // plane's normal (counter-clockwise faces it), and no uvs mean (0, 0).
    aiMesh* mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 2}, {2, 1, 3}});
    auto scene = sceneWith(mesh, new aiMaterial());
    ASSERT_EQ(mesh->mNormals, nullptr);
    ASSERT_EQ(mesh->mTextureCoords[0], nullptr);
    ImportedModel imported;
    const ImportedMesh converted = AssimpConverter().convertMesh(mesh, scene.get(), aiMatrix4x4(), imported);
    const std::vector<Vertex>& vertices = converted.vertices;
    ASSERT_EQ(vertices.size(), 6u);
    const std::vector<unsigned int> order = {0, 1, 2, 2, 1, 3};
    const glm::vec3 second = glm::normalize(glm::vec3(-1, -1, -1));
    for (int i = 0; i < 6; ++i) {
        const Vertex& corner = vertices[converted.indices[i]];
        const glm::vec3 expected = i < 3 ? glm::vec3(0, 0, 1) : second;
        EXPECT_NEAR(glm::distance(corner.normal, expected), 0.0f, 1e-6f) << "corner " << i;
        EXPECT_EQ(corner.uv, glm::vec2(0.0f));
        EXPECT_EQ(corner.position, vertices[order[i]].position) << "corner " << i;
    }
}

TEST_F(ModelImportTest, MaterialIndexOrMeshIndexOutOfRangeIsIgnored)
{
    aiMesh* mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    mesh->mMaterialIndex = 7;
    auto scene = sceneWith(mesh, new aiMaterial());
    AssimpConverter converter;
    ImportedModel imported;
    EXPECT_TRUE(converter.convertMesh(mesh, scene.get(), aiMatrix4x4(), imported).textures.empty());

    aiNode root;
    root.mNumMeshes = 2;
    root.mMeshes = new unsigned int[2]{5, 0};
    converter.collectMeshes(&root, scene.get(), aiMatrix4x4(), imported);
    ASSERT_EQ(imported.meshes.size(), 1u);
    EXPECT_EQ(imported.meshes[0].indices.size(), 3u);
}

TEST_F(ModelImportTest, ImportFailureReportsOnStderrReturnsAnEmptyModelAndDoesNotWaitForAKey)
{
    for (const std::string& name : {std::string("absent.obj"), std::string("garbage.xyz"), std::string()}) {
        if (name == "garbage.xyz")
            dir.write(name, "this is no model format at all\n");
        const std::string path = name.empty() ? name : dir.file(name);
        // A key waiting on standard input must still be there afterwards.
        StdinWith input("k");
        testing::internal::CaptureStderr();
        const std::shared_ptr<Model> model = loader.loadModel(path);
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::getchar(), 'k') << "the loader read standard input";
        ASSERT_NE(model, nullptr);
        EXPECT_TRUE(model->getMeshes().empty());
        ASSERT_EQ(errors.rfind("ERROR::ASSIMP:: ", 0), 0u) << errors;
        EXPECT_GT(errors.size(), std::strlen("ERROR::ASSIMP:: \n")) << "no reason given";
        EXPECT_EQ(errors.find('\n'), errors.size() - 1) << "one line: " << errors;
    }
}

TEST_F(ModelImportTest, UntexturedMeshesShareOneWhiteFallbackTexture)
{
    dir.write("plain.obj", twoObjectObj("none.mtl"));
    testing::internal::CaptureStderr();
    const std::shared_ptr<Model> first = loader.loadModel(dir.file("plain.obj"));
    const std::shared_ptr<Model> second = loader.loadModel(dir.file("plain.obj"));
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(first->getMeshes().size(), 2u);
    ASSERT_EQ(second->getMeshes().size(), 2u);

    // Draw each mesh after binding another texture on unit 0: the mesh must
    // replace it with the white one.
    GLuint other = 0;
    glGenTextures(1, &other);
    const std::shared_ptr<Shader> shader = Shader::build("shader/simpletextured.vert", "shader/simpletextured.frag");
    shader->use();
    GLuint bound[4] = {};
    int n = 0;
    for (const auto& model : {first, second}) {
        for (const auto& mesh : model->getMeshes()) {
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, other);
            mesh->draw(glm::mat4(1.0f), shader->getProgram());
            GLint name = 0;
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
            bound[n++] = static_cast<GLuint>(name);
        }
    }
    EXPECT_TRUE(GlContext::drainErrors().empty());
    for (GLuint name : bound)
        EXPECT_EQ(name, bound[0]);
    EXPECT_NE(bound[0], other);
    // The mtl file is missing: Assimp makes material "m" with its default
    // diffuse colour, 0.6 grey, and that is what the meshes show.
    int width = 0;
    EXPECT_EQ(readTexture(bound[0], &width), (std::vector<unsigned char>{153, 153, 153, 255}));
    EXPECT_EQ(width, 1);
}
