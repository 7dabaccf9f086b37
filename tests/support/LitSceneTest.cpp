#include "LitSceneTest.h"

#include "ObjText.h"
#include "effects/ShadowMap.h"

#include <glm/gtc/matrix_transform.hpp>

std::string ambientLight(float strength)
{
    return "$ ambient 2\nambientStrength 0 " + std::to_string(strength) + "\nambientColor 0 1,1,1\n";
}

std::string pointLight(const std::string& name, const glm::vec3& position, const glm::vec3& colour)
{
    return "$ " + name + " 1\ntype 0 0\nposition 0 " + commaList(position) + "\ncolor 0 " + commaList(colour) + "\n";
}

std::string spotLight(const std::string& name, const glm::vec3& position, const glm::vec3& direction,
                      const glm::vec3& colour, float inner, float outer)
{
    return "$ " + name + " 1\ntype 0 1\nposition 0 " + commaList(position) + "\ndirection 0 " +
           commaList(direction) + "\ncolor 0 " + commaList(colour) + "\ninnerRadius 0 " + std::to_string(inner) +
           "\nouterRadius 0 " + std::to_string(outer) + "\n";
}

void LitSceneTest::SetUp()
{
    ASSERT_NO_FATAL_FAILURE(GlTest::SetUp());
    target = std::make_unique<RenderTarget>(size);
    testing::internal::CaptureStdout();
    shader = Shader::build("shader/simpletextured.vert", "shader/simpletextured.frag");
    ASSERT_EQ(testing::internal::GetCapturedStdout(), "");
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    view = glm::lookAt(glm::vec3(0, 12, 0), glm::vec3(0), glm::vec3(0, 0, -1));
    projection = glm::perspective(glm::radians(45.0f), 1.0f, 0.1f, 200.0f);
}

Scene& LitSceneTest::load(const std::string& text)
{
    const std::string name = "scene" + std::to_string(scenes.size()) + ".txt";
    dir.write(name, text);
    scenes.push_back(std::make_unique<Scene>());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    scenes.back()->load(dir.file(name));
    errors = testing::internal::GetCapturedStderr();
    output = testing::internal::GetCapturedStdout();
    return *scenes.back();
}

Image LitSceneTest::render(Scene& scene)
{
    target->clear();
    shader->use();
    shader->setMat4("view", view);
    shader->setMat4("projection", projection);
    scene.draw(shader, false);
    EXPECT_TRUE(drainErrors().empty());
    Image image = target->read();
    keepImage(image, std::to_string(scenes.size()));
    return image;
}

Image LitSceneTest::renderMaterials(Scene& scene, ShadowMap* shadows)
{
    if (!lit)
        lit = std::make_unique<ProgramVariants>(ProgramVariants::Lit, "shader/simpletextured.vert",
                                                "shader/simpletextured.frag");
    testing::internal::CaptureStdout();
    lit->build(scene.getModels(), false);
    if (shadows) {
        shadows->render(scene.getSpotLights(), scene.getModels());
        for (const auto& entry : lit->getPrograms())
            shadows->setUniforms(entry.second);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    target->clear();
    for (const auto& entry : lit->getPrograms()) {
        entry.second->use();
        entry.second->setMat4("view", view);
        entry.second->setMat4("projection", projection);
    }
    scene.draw(*lit, false);
    scene.drawBlended(*lit, view);
    EXPECT_TRUE(drainErrors().empty());
    Image image = target->read();
    keepImage(image, std::to_string(scenes.size()));
    return image;
}

glm::vec3 LitSceneTest::probe(const Image& image, const glm::vec3& world) const
{
    const glm::vec3 w = glm::project(world, view, projection, glm::vec4(0, 0, size, size));
    const int x = static_cast<int>(w.x), y = size - 1 - static_cast<int>(w.y);
    return image.mean(x - 2, y - 2, x + 3, y + 3);
}

void expectColour(const glm::vec3& seen, const glm::vec3& wanted, const std::string& where)
{
    for (int c = 0; c < 3; ++c)
        if (wanted[c] > 0.5f)
            EXPECT_GT(seen[c], 100.0f) << where << " channel " << c;
        else
            EXPECT_LT(seen[c], 20.0f) << where << " channel " << c;
}
