#include "GlContext.h"
#include "TempDir.h"
#include "render/Shader.h"

#include <gtest/gtest.h>

#include <glm/gtc/type_ptr.hpp>

namespace {

const char* vertexSource = R"(#version 430 core
layout(location = 0) in vec3 position;
uniform mat4 transform;
uniform float gain;
uniform int level;
uniform uint mask;
uniform vec3 tint;
out vec3 colour;
void main()
{
    colour = tint * gain * float(level) * float(mask);
    gl_Position = transform * vec4(position, 1.0);
}
)";

const char* fragmentSource = R"(#version 430 core
in vec3 colour;
out vec4 fragColor;
void main() { fragColor = vec4(colour, 1.0); }
)";

class ShaderTest : public GlTest {
protected:
    TempDir dir;
    std::string write(const std::string& name, const std::string& text)
    {
        dir.write(name, text);
        return dir.file(name);
    }
};

} // namespace

TEST_F(ShaderTest, CompilesLinksAndSetsEveryUniformKindByName)
{
    auto shader = std::make_shared<Shader>();
    testing::internal::CaptureStdout();
    shader->attachShader(write("a.vert", vertexSource).c_str(), Shader::Vertex);
    shader->attachShader(write("a.frag", fragmentSource).c_str(), Shader::Fragment);
    shader->link();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    GLint linked = 0;
    glGetProgramiv(shader->getProgram(), GL_LINK_STATUS, &linked);
    ASSERT_TRUE(linked);

    shader->use();
    const glm::mat4 m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    shader->setMat4("transform", m);
    shader->setFloat("gain", 2.5f);
    shader->setInt("level", -7);
    shader->setUInt("mask", 4000000000u);
    shader->setVec3("tint", glm::vec3(0.25f, 0.5f, 0.75f));
    shader->setFloat("notDeclared", 1.0f); // location -1: ignored without an error

    const GLuint p = shader->getProgram();
    glm::mat4 readM;
    glGetUniformfv(p, glGetUniformLocation(p, "transform"), glm::value_ptr(readM));
    EXPECT_EQ(readM, m); // column-major, untransposed
    GLfloat gain = 0;
    glGetUniformfv(p, glGetUniformLocation(p, "gain"), &gain);
    EXPECT_EQ(gain, 2.5f);
    GLint level = 0;
    glGetUniformiv(p, glGetUniformLocation(p, "level"), &level);
    EXPECT_EQ(level, -7);
    GLuint mask = 0;
    glGetUniformuiv(p, glGetUniformLocation(p, "mask"), &mask);
    EXPECT_EQ(mask, 4000000000u);
    glm::vec3 tint;
    glGetUniformfv(p, glGetUniformLocation(p, "tint"), glm::value_ptr(tint));
    EXPECT_EQ(tint, glm::vec3(0.25f, 0.5f, 0.75f));
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

TEST_F(ShaderTest, SyntaxErrorPrintsPathNewlineAndLogThenCarriesOn)
{
    const std::string path = write("broken.frag", "#version 430 core\nvoid main() { this is not glsl }\n");
    auto shader = std::make_shared<Shader>();
    testing::internal::CaptureStdout();
    shader->attachShader(path.c_str(), Shader::Fragment);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string head = "ERROR::SHADER::COMPILATION_FAILED " + path + "\n";
    ASSERT_EQ(out.compare(0, head.size(), head), 0) << out;
    EXPECT_GT(out.size(), head.size() + 1) << "the driver's log follows the path";
    EXPECT_EQ(out.back(), '\n');
    // The failed shader is attached all the same.
    GLint attached = 0;
    glGetProgramiv(shader->getProgram(), GL_ATTACHED_SHADERS, &attached);
    EXPECT_EQ(attached, 1);
}

TEST_F(ShaderTest, MissingFileReportsOnceAndCreatesNothing)
{
    auto shader = std::make_shared<Shader>();
    testing::internal::CaptureStdout();
    shader->attachShader(dir.file("absent.vert").c_str(), Shader::Vertex);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR::SHADER::FILE_NOT_SUCCESFULLY_READ\n");
    GLint attached = -1;
    glGetProgramiv(shader->getProgram(), GL_ATTACHED_SHADERS, &attached);
    EXPECT_EQ(attached, 0);
}

TEST_F(ShaderTest, PendingErrorIsReportedWithTheNextPath)
{
    glEnable(0xFFFF); // leaves GL_INVALID_ENUM pending
    const std::string path = write("ok.vert", vertexSource);
    auto shader = std::make_shared<Shader>();
    testing::internal::CaptureStdout();
    shader->attachShader(path.c_str(), Shader::Vertex);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR::SHADER::OPENGL_ERROR 1280 at " + path + "\n");
}

TEST_F(ShaderTest, UnknownStageCreatesAndAttachesNothing)
{
    auto shader = std::make_shared<Shader>();
    testing::internal::CaptureStdout();
    shader->attachShader(write("x.vert", vertexSource).c_str(), 7);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    GLint attached = -1;
    glGetProgramiv(shader->getProgram(), GL_ATTACHED_SHADERS, &attached);
    EXPECT_EQ(attached, 0);
}
