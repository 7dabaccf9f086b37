#include "GlContext.h"
#include "TempDir.h"
#include "render/Shader.h"

#include <gtest/gtest.h>

#include <filesystem>

// Every program under shader/ compiles and links without a word, and each
// uniform the C++ side sets (and the program is meant to read) is active in
// it, so the two sides cannot drift apart. (The material variants are
// drawn, feature by feature, in MaterialTest.)
// The ".glsl" files are not stages: the programs include them.
namespace {

struct ProgramInterface {
    const char* name;
    std::vector<std::pair<std::string, int>> stages; // file, stage code (0 vertex, 1 fragment, 2 geometry, 3 compute)
    std::vector<std::string> uniforms;
};

const ProgramInterface programs[] = {
    {"simpletextured", {{"simpletextured.vert", 0}, {"simpletextured.frag", 1}},
     {"view", "projection", "model", "numPointLights", "pointLights[0].position", "pointLights[0].color",
      "pointLights[15].color", "numSpotLights", "spotLights[0].position", "spotLights[0].direction",
      "spotLights[0].color", "spotLights[0].innerRadius", "spotLights[0].outerRadius", "spotLights[7].outerRadius",
      "ambientColor", "ambientStrength", "lightSpaceMatrix", "shadowMap"}},
    {"normal", {{"normal.vert", 0}, {"normal.frag", 1}}, {"view", "projection", "model"}},
    {"rrTest", {{"rrTest.vert", 0}, {"rrTest.frag", 1}}, {"view", "projection", "model", "refraction", "reflection"}},
    {"shadowmap", {{"shadowmap.vert", 0}, {"shadowmap.frag", 1}}, {"lightSpaceMatrix", "model"}},
    {"depthdbg", {{"depthdbg.vert", 0}, {"depthdbg.frag", 1}}, {"depthMap"}},
    {"skybox", {{"skybox.vert", 0}, {"skybox.frag", 1}}, {"view", "projection"}},
    {"testquad", {{"testquad.vert", 0}, {"testquad.frag", 1}}, {}},
    {"postprocessing", {{"postprocessing.vert", 0}, {"postprocessing.frag", 1}},
     {"image", "depthMap", "projectionMatrix", "inverseProjectionMatrix", "refractionFrontNormal",
      "refractionFrontDepth", "refractionBackDepth", "reflectionRefraction"}},
    {"particles_comp", {{"particles.comp", 3}}, {"LastCount", "MaximumCount", "DeltaT"}},
    {"particles", {{"particles.vert", 0}, {"particles.frag", 1}, {"particles.geom", 2}},
     {"ModelViewMatrix", "ProjectionMatrix", "Scale"}},
};

void PrintTo(const ProgramInterface& p, std::ostream* out) { *out << p.name; }

void expectLinkedReading(const Shader& shader, const std::vector<std::string>& uniforms)
{
    GLint linked = 0;
    char log[2048] = {};
    glGetProgramiv(shader.getProgram(), GL_LINK_STATUS, &linked);
    glGetProgramInfoLog(shader.getProgram(), sizeof log, nullptr, log);
    ASSERT_TRUE(linked) << log;
    EXPECT_STREQ(log, "");
    for (const std::string& uniform : uniforms)
        EXPECT_NE(glGetUniformLocation(shader.getProgram(), uniform.c_str()), -1) << "does not read " << uniform;
}

class ShaderInterface : public GlTest, public testing::WithParamInterface<ProgramInterface> {};

TEST_P(ShaderInterface, CompilesLinksSilentlyAndReadsItsUniforms)
{
    const ProgramInterface& program = GetParam();
    Shader shader;
    testing::internal::CaptureStdout();
    for (const auto& [file, stage] : program.stages)
        shader.attachShader(("shader/" + file).c_str(), stage);
    shader.link();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    expectLinkedReading(shader, program.uniforms);
}

INSTANTIATE_TEST_SUITE_P(AllPrograms, ShaderInterface, testing::ValuesIn(programs),
                         [](const testing::TestParamInfo<ProgramInterface>& info) { return info.param.name; });

TEST(ShaderFiles, EachIsAStageOfAProgramAboveOrAnInclude)
{
    for (const auto& entry : std::filesystem::directory_iterator(std::string(VELMORA_SOURCE_DIR) + "/shader")) {
        const std::string file = entry.path().filename().string();
        bool listed = entry.path().extension() == ".glsl";
        for (const ProgramInterface& program : programs)
            for (const auto& stage : program.stages)
                listed = listed || stage.first == file;
        EXPECT_TRUE(listed) << file << " is in no program";
    }
}

// A file named by an #include line is compiled in its place; the compiler's
// log names each line by its own file (source string 0 the stage's file,
// 1 the first include) and number, defines or not.
TEST_F(GlTest, IncludedFilesCompileInPlaceAndKeepTheirLineNumbersInTheLog)
{
    TempDir dir;
    const auto compile = [&](const std::string& include, const std::string& defines) {
        dir.write("inc/part.glsl", include);
        dir.write("stage.frag", "#version 430 core\n#include \"inc/part.glsl\"\nout vec4 colour;\n"
                                "void main()\n{\n    colour = vec4(value + undeclared);\n}\n");
        Shader shader;
        testing::internal::CaptureStdout();
        shader.attachShader(dir.file("stage.frag").c_str(), Shader::Fragment, defines);
        GLint attached = 0;
        glGetProgramiv(shader.getProgram(), GL_ATTACHED_SHADERS, &attached);
        return std::make_pair(testing::internal::GetCapturedStdout(), attached);
    };
    const auto [mainError, attachedA] = compile("// value\nconst float value = 1.0;\n", "#define A 1\n");
    EXPECT_NE(mainError.find("COMPILATION_FAILED"), std::string::npos) << mainError;
    EXPECT_NE(mainError.find("0:6("), std::string::npos) << "line 6 of the stage's file: " << mainError;
    const auto [includeError, attachedB] = compile("// value\nconst float value = ;\n", "");
    EXPECT_NE(includeError.find("1:2("), std::string::npos) << "line 2 of the include: " << includeError;
    EXPECT_EQ(attachedA + attachedB, 2);

    dir.write("missing.frag", "#version 430 core\n#include \"absent.glsl\"\nvoid main()\n{\n}\n");
    Shader shader;
    testing::internal::CaptureStdout();
    shader.attachShader(dir.file("missing.frag").c_str(), Shader::Fragment);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR::SHADER::FILE_NOT_SUCCESFULLY_READ\n");
    GLint attached = -1;
    glGetProgramiv(shader.getProgram(), GL_ATTACHED_SHADERS, &attached);
    EXPECT_EQ(attached, 0);
}

} // namespace
