#include "GlContext.h"
#include "render/Shader.h"

#include <gtest/gtest.h>

// Every program under shader/ compiles and links without a word, and each
// uniform the C++ side sets (and the program is meant to read) is active in
// it, so the two sides cannot drift apart.
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
    GLint linked = 0;
    char log[2048] = {};
    glGetProgramiv(shader.getProgram(), GL_LINK_STATUS, &linked);
    glGetProgramInfoLog(shader.getProgram(), sizeof log, nullptr, log);
    ASSERT_TRUE(linked) << log;
    EXPECT_STREQ(log, "");
    for (const std::string& uniform : program.uniforms)
        EXPECT_NE(glGetUniformLocation(shader.getProgram(), uniform.c_str()), -1) << "does not read " << uniform;
}

INSTANTIATE_TEST_SUITE_P(AllPrograms, ShaderInterface, testing::ValuesIn(programs),
                         [](const testing::TestParamInfo<ProgramInterface>& info) { return info.param.name; });

} // namespace
