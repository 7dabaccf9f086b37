#pragma once

#include "GlContext.h"
#include "TempDir.h"
#include "render/ProgramVariants.h"
#include "render/Shader.h"
#include "scene/Scene.h"

#include <algorithm>
#include <memory>
#include <string>

class ShadowMap;

// A pixel's level: its brightest channel.
inline float brightness(const glm::vec3& rgb) { return std::max({rgb.r, rgb.g, rgb.b}); }
// Scene-file sections: white ambient light of `strength`, a point light, a spot light.
std::string ambientLight(float strength);
std::string pointLight(const std::string& name, const glm::vec3& position, const glm::vec3& colour);
std::string spotLight(const std::string& name, const glm::vec3& position, const glm::vec3& direction,
                      const glm::vec3& colour, float inner, float outer);

// Fixture for the lit-scene program on hand-made scenes: a 256 x 256
// off-screen target, depth test and back-face culling on, the camera 12
// units above the origin looking down with -z up the image.
// Expects `seen` (a probe's mean colour) to show `wanted`: each channel the
// colour has bright, each other dark. Ambient light 1 tone-maps a full
// channel to about 200-230 and an empty one to 0, so 100 and 20 leave wide
// margins for filtering and the tone curve.
void expectColour(const glm::vec3& seen, const glm::vec3& wanted, const std::string& where);

class LitSceneTest : public GlTest {
protected:
    static constexpr int size = 256;
    void SetUp() override;
    // Loads a scene from `text`; the scene lives as long as the test, its
    // console output is kept in `output` and `errors`.
    Scene& load(const std::string& text);
    // The lit pass as the frame loop runs it, into the target; a shadow map
    // the test rendered first is read through its uniforms.
    Image render(Scene& scene);
    // The lit pass as the viewer runs it, with the variants of the lit
    // program the scene's materials need: the opaque meshes, then the
    // blended ones. With `shadows`, its pass runs first and is handed to
    // every variant.
    Image renderMaterials(Scene& scene, ShadowMap* shadows = nullptr);
    // Mean colour of the 5 x 5 pixels where `world` lands.
    glm::vec3 probe(const Image& image, const glm::vec3& world) const;

    TempDir dir;
    std::unique_ptr<RenderTarget> target;
    std::shared_ptr<Shader> shader;
    std::unique_ptr<ProgramVariants> lit;
    glm::mat4 view, projection;
    std::string output, errors;

private:
    std::vector<std::unique_ptr<Scene>> scenes;
};
