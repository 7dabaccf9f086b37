#include "GlContext.h"
#include "TempDir.h"
#include "TestModels.h"
#include "render/Model.h"
#include "render/Shader.h"
#include "scene/Scene.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

// Scene files written by the tests, loaded through Scene::load, and the light
// uniforms read back from the lit-scene program.
namespace {

class SceneTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        dir.write("quad.obj", floorObj(1.0f));
        quad = dir.file("quad.obj");
    }

    // Loads `text` as a scene file; the reader's echo is swallowed and the
    // standard error text kept in `errors`.
    void load(Scene& scene, const std::string& text)
    {
        dir.write("scene.txt", text);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        try {
            scene.load(dir.file("scene.txt"));
        } catch (...) {
            testing::internal::GetCapturedStdout();
            errors = testing::internal::GetCapturedStderr();
            throw;
        }
        testing::internal::GetCapturedStdout();
        errors = testing::internal::GetCapturedStderr();
    }

    std::string model(const std::string& name, const std::string& extra = "") const
    {
        return "$ " + name + " 0\npath 0 " + quad + "\n" + extra;
    }

    TempDir dir;
    std::string quad;
    std::string errors;
};

std::string spot(const std::string& name, const std::string& position, float inner = 10.0f, float outer = 20.0f)
{
    return "$ " + name + " 1\ntype 0 1\nposition 0 " + position + "\ndirection 0 0,-2,0\ncolor 0 1,0.5,0.25\n" +
           "innerRadius 0 " + std::to_string(inner) + "\nouterRadius 0 " + std::to_string(outer) + "\n";
}

std::string point(const std::string& name, const std::string& position, const std::string& color = "1,1,1")
{
    return "$ " + name + " 1\ntype 0 0\nposition 0 " + position + "\ncolor 0 " + color + "\n";
}

} // namespace

TEST_F(SceneTest, SectionsBecomeListEntriesInNameOrderNotFileOrder)
{
    Scene scene;
    load(scene, spot("b_lamp", "2,0,0") + model("zeta", "position 0 0,0,9\n") + spot("a_lamp", "1,0,0") +
                    point("p9", "9,0,0") + point("p10", "10,0,0") + model("alpha", "position 0 0,0,1\n") +
                    model("Beta", "position 0 0,0,5\n"));
    ASSERT_EQ(scene.getSpotLights().size(), 2u);
    EXPECT_EQ(scene.getSpotLights()[0].position, glm::vec3(1, 0, 0)); // a_lamp: the shadow caster
    EXPECT_EQ(scene.getSpotLights()[1].position, glm::vec3(2, 0, 0));
    ASSERT_EQ(scene.getPointLights().size(), 2u);
    EXPECT_EQ(scene.getPointLights()[0].position, glm::vec3(10, 0, 0)); // "p10" < "p9"
    ASSERT_EQ(scene.getModels().size(), 3u);
    EXPECT_EQ(scene.getModels()[0]->getPosition(), glm::vec3(0, 0, 5)); // "Beta" < "alpha" < "zeta"
    EXPECT_EQ(scene.getModels()[1]->getPosition(), glm::vec3(0, 0, 1));
    EXPECT_EQ(scene.getModels()[2]->getPosition(), glm::vec3(0, 0, 9));
}

TEST_F(SceneTest, LightRecordsKeepTheFileValuesUnchanged)
{
    Scene scene;
    load(scene, spot("lamp", "0,6,0", 12.5f, 17.5f) + point("bulb", "1,2,3", "0.5,0.25,2"));
    const SpotLight& lamp = scene.getSpotLights().at(0);
    EXPECT_EQ(lamp.position, glm::vec3(0, 6, 0));
    EXPECT_EQ(lamp.direction, glm::vec3(0, -2, 0)); // not normalised
    EXPECT_EQ(lamp.color, glm::vec3(1, 0.5f, 0.25f));
    EXPECT_EQ(lamp.innerRadius, 12.5f); // degrees
    EXPECT_EQ(lamp.outerRadius, 17.5f);
    EXPECT_EQ(scene.getPointLights().at(0).color, glm::vec3(0.5f, 0.25f, 2.0f));
}

TEST_F(SceneTest, ModelSectionWithOnlyAPathGetsEveryDefault)
{
    Scene scene;
    load(scene, model("plain"));
    ASSERT_EQ(scene.getModels().size(), 1u);
    const Model& m = *scene.getModels()[0];
    EXPECT_EQ(m.getMeshes().size(), 1u);
    EXPECT_EQ(m.getPosition(), glm::vec3(0.0f));
    EXPECT_EQ(m.getAxis(), glm::vec3(0.0f));
    EXPECT_EQ(m.getTransparency(), 0.0f);
    // The scene sets refraction from the file, so its absence gives 0, not
    // the model's own initial 1.
    EXPECT_EQ(m.getRefraction(), 0.0f);
    EXPECT_EQ(m.getReflection(), 0.0f);
    EXPECT_EQ(m.getSpeed(), 0.0f);
    EXPECT_FALSE(m.isTransparent());
    scene.update(1.0f);
    EXPECT_EQ(m.getAngle(), 0.0f);
    EXPECT_EQ(m.modelMatrix(), glm::mat4(1.0f));
    EXPECT_EQ(errors, "");
}

TEST_F(SceneTest, TransparencyMarksTheModelOnlyForValuesAboveZeroUpToOne)
{
    Scene scene;
    load(scene, model("a", "transparency 0 1\n") + model("b", "transparency 0 1.5\n") +
                    model("c", "transparency 0 0\n") + model("d", "transparency 0 -0.5\n") +
                    model("e", "transparency 0 0.001\n"));
    const auto& models = scene.getModels();
    ASSERT_EQ(models.size(), 5u);
    EXPECT_TRUE(models[0]->isTransparent());
    EXPECT_FALSE(models[1]->isTransparent());
    EXPECT_FALSE(models[2]->isTransparent());
    EXPECT_FALSE(models[3]->isTransparent());
    EXPECT_TRUE(models[4]->isTransparent());
    EXPECT_EQ(models[1]->getTransparency(), 1.5f);
    EXPECT_EQ(models[3]->getTransparency(), -0.5f);
}

TEST_F(SceneTest, MaterialAndPlacementKeysReachTheModel)
{
    Scene scene;
    load(scene, model("m", "position 0 1,2,3\nrefraction 0 1.33\nreflection 0 0.4\naxis 0 0,0,2\nspeed 0 45\n"));
    const Model& m = *scene.getModels().at(0);
    EXPECT_EQ(m.getPosition(), glm::vec3(1, 2, 3));
    EXPECT_FLOAT_EQ(m.getRefraction(), 1.33f);
    EXPECT_FLOAT_EQ(m.getReflection(), 0.4f);
    EXPECT_EQ(m.getAxis(), glm::vec3(0, 0, 2));
    EXPECT_EQ(m.getSpeed(), 45.0f);
}

TEST_F(SceneTest, TurningFollowsFrameTimeAndOnlyPositiveSpeeds)
{
    Scene scene;
    load(scene, model("a", "axis 0 0,1,0\nspeed 0 90\n") + model("b", "axis 0 0,1,0\nspeed 0 -10\n") +
                    model("c", "speed 0 90\nposition 0 4,0,0\n"));
    // Two short frames and one long one: 90 degrees per second of frame time.
    scene.update(0.25f);
    scene.update(0.25f);
    scene.update(0.5f);
    const auto& models = scene.getModels();
    EXPECT_FLOAT_EQ(models[0]->getAngle(), 90.0f);
    EXPECT_EQ(models[1]->getAngle(), 0.0f);
    // A quarter turn about y takes +x to -z.
    const glm::vec4 turned = models[0]->modelMatrix() * glm::vec4(1, 0, 0, 1);
    EXPECT_NEAR(turned.x, 0.0f, 1e-6f);
    EXPECT_NEAR(turned.z, -1.0f, 1e-6f);
    // Turning without an axis: drawn unrotated, never with NaNs.
    EXPECT_FLOAT_EQ(models[2]->getAngle(), 90.0f);
    EXPECT_EQ(models[2]->modelMatrix(), glm::translate(glm::mat4(1.0f), glm::vec3(4, 0, 0)));
}

TEST_F(SceneTest, AmbientDefaultsToNothingAndTheLastSectionByNameWins)
{
    Scene none;
    load(none, model("m"));
    EXPECT_EQ(none.getAmbientStrength(), 0.0f);
    EXPECT_EQ(none.getAmbientColor(), glm::vec3(0.0f));

    Scene two;
    load(two, "$ sky_b 2\nambientStrength 0 0.3\nambientColor 0 0,0,1\n"
              "$ sky_a 2\nambientStrength 0 0.7\nambientColor 0 1,0,0\n");
    EXPECT_FLOAT_EQ(two.getAmbientStrength(), 0.3f);
    EXPECT_EQ(two.getAmbientColor(), glm::vec3(0, 0, 1));
}

TEST_F(SceneTest, UnknownKindsAndLightTypesAreSkippedSilently)
{
    Scene scene;
    load(scene, "$ odd 3\npath 0 " + quad + "\n$ strange 1\ntype 0 2\nposition 0 1,1,1\n" + "$ nokind\npath 0 " +
                    quad + "\n");
    EXPECT_TRUE(scene.getPointLights().empty());
    EXPECT_TRUE(scene.getSpotLights().empty());
    // A header without a kind number is a model section.
    EXPECT_EQ(scene.getModels().size(), 1u);
    EXPECT_EQ(errors, "");
}

TEST_F(SceneTest, MissingSceneFileGivesAnEmptyScene)
{
    Scene scene;
    testing::internal::CaptureStdout();
    scene.load(dir.file("absent.txt"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to open file");
    EXPECT_TRUE(scene.getModels().empty());
    EXPECT_TRUE(scene.getPointLights().empty());
    EXPECT_TRUE(scene.getSpotLights().empty());
    EXPECT_EQ(scene.getAmbientStrength(), 0.0f);
}

TEST_F(SceneTest, ModelThatCannotBeImportedIsReportedAndKeptWithoutMeshes)
{
    Scene scene;
    load(scene, "$ gone 0\npath 0 " + dir.file("gone.obj") + "\n$ nopath 0\nposition 0 1,1,1\n" + model("ok"));
    ASSERT_EQ(scene.getModels().size(), 3u);
    EXPECT_TRUE(scene.getModels()[0]->getMeshes().empty());
    EXPECT_TRUE(scene.getModels()[1]->getMeshes().empty());
    EXPECT_EQ(scene.getModels()[2]->getMeshes().size(), 1u);
    // One "ERROR::ASSIMP:: " line per failed import.
    size_t lines = 0;
    for (size_t at = errors.find("ERROR::ASSIMP:: "); at != std::string::npos;
         at = errors.find("ERROR::ASSIMP:: ", at + 1))
        ++lines;
    EXPECT_EQ(lines, 2u) << errors;
}

TEST_F(SceneTest, MalformedNumbersRaiseTheStandardExceptionsNamingFileSectionKeyAndText)
{
    struct Case {
        std::string text;
        bool outOfRange;
        std::vector<std::string> named;
    };
    const std::vector<Case> cases = {
        {"$ lamp 1\nposition 0 1,2,3\n", false, {"lamp", "type"}}, // no type at all
        {"$ lamp 1\ntype 0 spot\n", false, {"lamp", "type", "spot"}},
        {"$ box 0\npath 0 " + quad + "\nposition 0 1,x,3\n", false, {"box", "position", "1,x,3"}},
        {"$ box 0\npath 0 " + quad + "\nposition 0 1,2\n", true, {"box", "position", "1,2"}},
        {"$ box 0\npath 0 " + quad + "\nspeed 0 fast\n", false, {"box", "speed", "fast"}},
        {"$ sky 2\nambientStrength 0 1e999\n", true, {"sky", "ambientStrength", "1e999"}},
    };
    for (const Case& c : cases) {
        Scene scene;
        try {
            load(scene, c.text);
            ADD_FAILURE() << "no exception for " << c.text;
        } catch (const std::out_of_range& error) {
            EXPECT_TRUE(c.outOfRange) << c.text;
            for (const std::string& part : c.named)
                EXPECT_NE(std::string(error.what()).find(part), std::string::npos) << error.what();
            EXPECT_NE(std::string(error.what()).find(dir.file("scene.txt")), std::string::npos) << error.what();
        } catch (const std::invalid_argument& error) {
            EXPECT_FALSE(c.outOfRange) << c.text;
            for (const std::string& part : c.named)
                EXPECT_NE(std::string(error.what()).find(part), std::string::npos) << error.what();
            EXPECT_NE(std::string(error.what()).find(dir.file("scene.txt")), std::string::npos) << error.what();
        }
    }
}

// Light uniforms as the lit-scene program receives them.
class SceneUniformTest : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        testing::internal::CaptureStdout();
        shader = Shader::build("shader/simpletextured.vert", "shader/simpletextured.frag");
        ASSERT_EQ(testing::internal::GetCapturedStdout(), "");
        program = shader->getProgram();
        shader->use();
    }
    GLint location(const std::string& name) const { return glGetUniformLocation(program, name.c_str()); }
    int getInt(const std::string& name) const
    {
        GLint value = -1;
        glGetUniformiv(program, location(name), &value);
        return value;
    }
    float getFloat(const std::string& name) const
    {
        GLfloat value = -1;
        glGetUniformfv(program, location(name), &value);
        return value;
    }
    glm::vec3 getVec3(const std::string& name) const
    {
        glm::vec3 value(-1);
        glGetUniformfv(program, location(name), &value.x);
        return value;
    }

    std::shared_ptr<Shader> shader;
    GLuint program = 0;
};

TEST_F(SceneUniformTest, CountsPositionsColoursAndConeCosinesArrive)
{
    // Twelve point lights named l00..l11, so list index i is light i.
    std::string text;
    for (int i = 0; i < 12; ++i) {
        const std::string n = (i < 10 ? "0" : "") + std::to_string(i);
        text += point("l" + n, std::to_string(i) + ",1,2", "0.5," + std::to_string(i) + ",1");
    }
    text += spot("s0", "0,6,0", 12.5f, 17.5f) + spot("s1", "1,2,3", 90.0f, 0.0f);
    text += "$ ambient 2\nambientStrength 0 0.25\nambientColor 0 0.1,0.2,0.3\n";
    Scene scene;
    load(scene, text);
    scene.draw(shader, false);
    EXPECT_TRUE(GlContext::drainErrors().empty());

    EXPECT_EQ(getInt("numPointLights"), 12);
    // Index 11 is spelled "11": the uniform exists and holds light 11.
    ASSERT_NE(location("pointLights[11].position"), -1);
    EXPECT_EQ(getVec3("pointLights[11].position"), glm::vec3(11, 1, 2));
    EXPECT_EQ(getVec3("pointLights[11].color"), glm::vec3(0.5f, 11, 1));
    EXPECT_EQ(getVec3("pointLights[0].position"), glm::vec3(0, 1, 2));
    EXPECT_EQ(getVec3("pointLights[10].color"), glm::vec3(0.5f, 10, 1));

    EXPECT_EQ(getInt("numSpotLights"), 2);
    EXPECT_EQ(getVec3("spotLights[0].position"), glm::vec3(0, 6, 0));
    EXPECT_EQ(getVec3("spotLights[0].direction"), glm::vec3(0, -2, 0));
    EXPECT_EQ(getVec3("spotLights[0].color"), glm::vec3(1, 0.5f, 0.25f));
    // Cosines in single precision of the angle times 0.017453292.
    EXPECT_EQ(getFloat("spotLights[0].innerRadius"), cosf(12.5f * 0.017453292f));
    EXPECT_EQ(getFloat("spotLights[0].outerRadius"), cosf(17.5f * 0.017453292f));
    EXPECT_NEAR(getFloat("spotLights[0].innerRadius"), 0.976296f, 1e-6f);
    EXPECT_NEAR(getFloat("spotLights[0].outerRadius"), 0.953717f, 1e-6f);
    EXPECT_NEAR(getFloat("spotLights[1].innerRadius"), 0.0f, 1e-7f);
    EXPECT_EQ(getFloat("spotLights[1].outerRadius"), 1.0f);

    EXPECT_EQ(getVec3("ambientColor"), glm::vec3(0.1f, 0.2f, 0.3f));
    EXPECT_EQ(getFloat("ambientStrength"), 0.25f);
}

TEST_F(SceneUniformTest, EmptyListsSendZeroCountsAndTouchNoArrayEntry)
{
    const glm::vec3 marker(7, 8, 9);
    shader->setVec3("pointLights[0].position", marker);
    shader->setVec3("spotLights[0].position", marker);
    shader->setInt("numPointLights", 5);
    shader->setInt("numSpotLights", 5);
    Scene scene;
    load(scene, "$ ambient 2\nambientStrength 0 0.5\n");
    scene.draw(shader, false);
    EXPECT_EQ(getInt("numPointLights"), 0);
    EXPECT_EQ(getInt("numSpotLights"), 0);
    EXPECT_EQ(getVec3("pointLights[0].position"), marker);
    EXPECT_EQ(getVec3("spotLights[0].position"), marker);
    EXPECT_EQ(getFloat("ambientStrength"), 0.5f);
    EXPECT_EQ(getVec3("ambientColor"), glm::vec3(0.0f));
}

TEST_F(SceneUniformTest, EachPassDrawsOnlyTheModelsOfItsTransparencyClass)
{
    // An opaque quad on the left and a transparent one on the right, seen
    // from above; a program without light uniforms takes the light setters
    // without error.
    dir.write("left.obj", floorObj(1.0f));
    dir.write("right.obj", floorObj(1.0f));
    Scene scene;
    load(scene, "$ ambient 2\nambientStrength 0 1\nambientColor 0 1,1,1\n$ opaque 0\npath 0 " +
                    dir.file("left.obj") + "\nposition 0 -2,0,0\n$ glass 0\npath 0 " + dir.file("right.obj") +
                    "\nposition 0 2,0,0\ntransparency 0 0.5\n");
    RenderTarget target(64);
    ASSERT_TRUE(target.complete());
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    const glm::mat4 view = glm::lookAt(glm::vec3(0, 10, 0), glm::vec3(0.0f), glm::vec3(0, 0, -1));
    const glm::mat4 projection = glm::perspective(glm::radians(45.0f), 1.0f, 0.1f, 100.0f);

    const char* plainVertex = "shader/simpletextured.vert";
    dir.write("plain.frag", "#version 430 core\nout vec4 colour;\nvoid main() { colour = vec4(1.0); }\n");
    testing::internal::CaptureStdout();
    std::shared_ptr<Shader> plain = Shader::build(plainVertex, dir.file("plain.frag"));
    testing::internal::GetCapturedStdout();

    for (const auto& program : {shader, plain}) {
        for (bool transparentPass : {false, true}) {
            target.clear();
            program->use();
            program->setMat4("view", view);
            program->setMat4("projection", projection);
            scene.draw(program, transparentPass);
            EXPECT_TRUE(GlContext::drainErrors().empty());
            const Image image = target.read();
            const float left = image.mean(12, 28, 20, 36).r;  // x = -2
            const float right = image.mean(44, 28, 52, 36).r; // x = +2
            EXPECT_EQ(left > 100.0f, !transparentPass) << "transparent pass " << transparentPass;
            EXPECT_EQ(right > 100.0f, transparentPass) << "transparent pass " << transparentPass;
            EXPECT_EQ(left == 0.0f, transparentPass);
            EXPECT_EQ(right == 0.0f, !transparentPass);
        }
    }
}
