#include "GlContext.h"
#include "TestModels.h"
#include "render/Mesh.h"
#include "render/Model.h"
#include "render/ModelLoader.h"
#include "render/Shader.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

// Model files written by real tools, from Debian's assimp-testmodels package
// (some of them deliberately broken). Every one must import through
// ModelLoader and draw without a crash or a GL error, and each format must
// give real triangles from most of its files.
namespace fs = std::filesystem;

namespace {

const char* corpus = "/usr/share/assimp/models";

struct Format {
    const char* folder;
    std::vector<std::string> extensions;
};

void PrintTo(const Format& format, std::ostream* out) { *out << format.folder; }

class ModelCorpusTest : public GlTest, public testing::WithParamInterface<Format> {};

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

} // namespace

TEST_P(ModelCorpusTest, EveryFileImportsAndDrawsWithoutCrashOrGlError)
{
    const fs::path folder = fs::path(corpus) / GetParam().folder;
    if (!fs::is_directory(folder))
        GTEST_SKIP() << folder << " is absent (install assimp-testmodels)";

    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string extension = lower(entry.path().extension().string());
        const auto& wanted = GetParam().extensions;
        if (entry.is_regular_file() && std::find(wanted.begin(), wanted.end(), extension) != wanted.end())
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());

    testing::internal::CaptureStdout();
    const std::shared_ptr<Shader> shader = Shader::build("shader/simpletextured.vert", "shader/simpletextured.frag");
    ASSERT_EQ(testing::internal::GetCapturedStdout(), "");
    RenderTarget target(64);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);

    size_t withTriangles = 0;
    for (const fs::path& file : files) {
        ModelLoader loader;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const std::shared_ptr<Model> model = loader.loadModel(file.string());
        testing::internal::GetCapturedStdout(); // missing textures are reported here
        testing::internal::GetCapturedStderr(); // failed imports here
        ASSERT_NE(model, nullptr) << file;

        size_t triangles = 0;
        for (const std::shared_ptr<Mesh>& mesh : model->getMeshes()) {
            const std::vector<unsigned int>& indices = mesh->getIndices();
            ASSERT_EQ(indices.size() % 3, 0u) << file;
            for (unsigned int index : indices)
                ASSERT_LT(index, mesh->getVertices().size()) << file;
            triangles += indices.size() / 3;
        }
        if (triangles > 0)
            ++withTriangles;

        target.clear();
        shader->use();
        shader->setMat4("view", glm::lookAt(glm::vec3(0, 0, 5), glm::vec3(0.0f), glm::vec3(0, 1, 0)));
        shader->setMat4("projection", glm::perspective(0.8f, 1.0f, 0.1f, 100.0f));
        shader->setInt("numPointLights", 0);
        shader->setInt("numSpotLights", 0);
        shader->setFloat("ambientStrength", 1.0f);
        shader->setVec3("ambientColor", glm::vec3(1.0f));
        model->draw(shader, false);
        glFinish();
        EXPECT_TRUE(GlContext::drainErrors().empty()) << file;
    }
    // Some files of each folder are broken on purpose; most are not.
    EXPECT_GE(withTriangles * 2, files.size()) << withTriangles << " of " << files.size() << " gave triangles";
}

INSTANTIATE_TEST_SUITE_P(Formats, ModelCorpusTest,
                         testing::Values(Format{"OBJ", {".obj"}}, Format{"glTF2", {".gltf", ".glb"}},
                                         Format{"3DS", {".3ds"}}, Format{"PLY", {".ply"}}, Format{"STL", {".stl"}},
                                         Format{"Collada", {".dae"}}),
                         [](const testing::TestParamInfo<Format>& info) { return std::string(info.param.folder); });
