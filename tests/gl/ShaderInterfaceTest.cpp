#include "GlContext.h"
#include "render/Shader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Every program under shader/ must compile and link without a word, and each
// uniform the C++ side feeds it (and that the program is meant to read) must
// be active in it, so the two sides cannot drift apart.
namespace {

struct ProgramInterface {
    const char* name;
    std::vector<std::pair<std::string, int>> stages; // file, stage code
    std::vector<std::string> uniforms;
};

std::vector<ProgramInterface> programs()
{
    const std::vector<std::string> meshPass = {"view", "projection", "model"};
    auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<std::string> lights = {"numPointLights", "pointLights[0].position", "pointLights[0].color",
                                             "pointLights[15].color", "numSpotLights", "spotLights[0].position",
                                             "spotLights[0].direction", "spotLights[0].color",
                                             "spotLights[0].innerRadius", "spotLights[0].outerRadius",
                                             "spotLights[7].outerRadius", "ambientColor", "ambientStrength"};
    return {
        {"simpletextured",
         {{"shader/simpletextured.vert", 0}, {"shader/simpletextured.frag", 1}},
         with(with(meshPass, lights), {"lightSpaceMatrix", "shadowMap"})},
        {"normal", {{"shader/normal.vert", 0}, {"shader/normal.frag", 1}}, meshPass},
        {"rrTest", {{"shader/rrTest.vert", 0}, {"shader/rrTest.frag", 1}}, with(meshPass, {"refraction", "reflection"})},
        {"shadowmap", {{"shader/shadowmap.vert", 0}, {"shader/shadowmap.frag", 1}}, {"lightSpaceMatrix", "model"}},
        {"depthdbg", {{"shader/depthdbg.vert", 0}, {"shader/depthdbg.frag", 1}}, {"depthMap"}},
        {"skybox", {{"shader/skybox.vert", 0}, {"shader/skybox.frag", 1}}, {"view", "projection"}},
        {"testquad", {{"shader/testquad.vert", 0}, {"shader/testquad.frag", 1}}, {}},
        {"postprocessing",
         {{"shader/postprocessing.vert", 0}, {"shader/postprocessing.frag", 1}},
         {"image", "depthMap", "projectionMatrix", "inverseProjectionMatrix", "refractionFrontNormal",
          "refractionFrontDepth", "refractionBackDepth", "reflectionRefraction"}},
        {"particles.comp", {{"shader/particles.comp", 3}}, {"LastCount", "MaximumCount", "DeltaT"}},
        {"particles",
         {{"shader/particles.vert", 0}, {"shader/particles.frag", 1}, {"shader/particles.geom", 2}},
         {"ModelViewMatrix", "ProjectionMatrix", "Scale"}},
    };
}

void PrintTo(const ProgramInterface& program, std::ostream* out) { *out << program.name; }

class ShaderInterfaceTest : public GlTest, public testing::WithParamInterface<ProgramInterface> {};

} // namespace

TEST_P(ShaderInterfaceTest, CompilesLinksAndReadsItsUniforms)
{
    const ProgramInterface& program = GetParam();
    auto shader = std::make_shared<Shader>();
    testing::internal::CaptureStdout();
    for (const auto& [file, stage] : program.stages)
        shader->attachShader(file.c_str(), stage);
    shader->link();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << program.name;

    const GLuint id = shader->getProgram();
    GLint linked = 0;
    glGetProgramiv(id, GL_LINK_STATUS, &linked);
    char log[2048] = {};
    glGetProgramInfoLog(id, sizeof log, nullptr, log);
    ASSERT_TRUE(linked) << program.name << ": " << log;
    EXPECT_STREQ(log, "") << program.name;

    for (const std::string& uniform : program.uniforms)
        EXPECT_NE(glGetUniformLocation(id, uniform.c_str()), -1) << program.name << " does not read " << uniform;
}

INSTANTIATE_TEST_SUITE_P(AllPrograms, ShaderInterfaceTest, testing::ValuesIn(programs()),
                         [](const testing::TestParamInfo<ProgramInterface>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (c == '.')
                                     c = '_';
                             return name;
                         });
