#pragma once

#include "scene/Lights.h"

#include <GL/glew.h>
#include <glm/glm.hpp>

#include <memory>
#include <vector>

class Model;
class ProgramVariants;
class Shader;

// Depth map of the scene as the first spot light sees it (1024 x 1024,
// 90 degree perspective, near 0.1, far 100), handed to the lit-scene and
// composite programs on texture unit 1. Also draws a debug view of the map
// in the upper right quarter of the screen while toggled on (F3).
//
// Owns: the depth texture and its framebuffer, the debug quad's buffer and
// vertex array (never deleted; they end with the context), the variants of
// the "shader/shadowmap.*" program (built by render() for the feature sets
// of the models it is given: only materials with alpha need their own) and
// shares the "shader/depthdbg.*" program.
// Defaults: until the first pass with a spot light the light matrices are
// identity and the light position and colour (0, 0, 0); the debug view is off.
//
// Use: construct once the context exists, setScreenSize(), then each frame
// render() -> setUniforms() per receiving program -> drawDebug().
class ShadowMap {
public:
    static constexpr float nearPlane = 0.1f;
    static constexpr float farPlane = 100.0f;

    ShadowMap();
    ~ShadowMap();

    void setScreenSize(int width, int height);
    // Builds the depth programs the opaque models among `models` need, at
    // start-up (render() builds any still missing on first use).
    void buildPrograms(const std::vector<std::shared_ptr<Model>>& models);
    // Draws the opaque models' depth from the first spot light (no light:
    // the map is still cleared and drawn with the last light's matrices).
    // Needs depth testing on; leaves framebuffer 0 bound and the viewport at
    // 0, 0, screen size. Prints "Shadow Map OpenGL Error: <code>" per pending
    // GL error.
    void render(std::vector<SpotLight>& spotLights, std::vector<std::shared_ptr<Model>>& models);
    // Makes `shader` current and sets "lightSpaceMatrix",
    // "lightSpaceViewMatrix", "lightSpaceProjMatrix", "lightPosition",
    // "lightColor" and "shadowMap" = 1. Leaves texture unit 1 active with the
    // depth texture bound.
    void setUniforms(std::shared_ptr<Shader> shader);
    // While toggled on: the depth map on the upper right quarter of the bound
    // framebuffer, through texture unit 0 (left active). Face culling and
    // depth state are used as they are.
    void drawDebug();
    void toggleDebugView() { showDepthMap = !showDepthMap; }

    // glm::lookAt from the light's position along its direction, with
    // cross(x axis, direction) as up. A direction parallel to the x axis
    // takes the y axis as up instead, and a zero one looks along -z.
    static glm::mat4 lightView(const SpotLight& light);

    bool isDebugViewOn() const { return showDepthMap; }
    GLuint getDepthTexture() const { return depthTexture; }
    GLuint getFramebuffer() const { return fbo; }
    const glm::mat4& getLightSpaceMatrix() const { return lightSpaceMatrix; }
    const glm::mat4& getLightSpaceViewMatrix() const { return lightSpaceViewMatrix; }
    const glm::mat4& getLightSpaceProjMatrix() const { return lightSpaceProjMatrix; }
    const glm::vec3& getLightPosition() const { return lightPosition; }
    const glm::vec3& getLightColor() const { return lightColor; }

private:
    GLuint fbo = 0;
    GLuint depthTexture = 0;
    int width = 1024;
    int height = 1024;
    int screenWidth = 0;
    int screenHeight = 0;
    std::unique_ptr<ProgramVariants> shadowPrograms;
    bool showDepthMap = false;
    GLuint vbo = 0;
    GLuint vao = 0;
    std::shared_ptr<Shader> debugShader;
    glm::mat4 lightSpaceMatrix{1.0f};
    glm::mat4 lightSpaceViewMatrix{1.0f};
    glm::mat4 lightSpaceProjMatrix{1.0f};
    glm::vec3 lightPosition{0.0f};
    glm::vec3 lightColor{0.0f};
};
