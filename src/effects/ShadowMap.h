#pragma once

#include "scene/Lights.h"

#include <GL/glew.h>
#include <glm/glm.hpp>

#include <memory>
#include <vector>

class Model;
class Shader;

// Depth map of the scene as the first spot light sees it (1024 x 1024,
// 90 degree perspective, near 0.1, far 100), handed to the lit-scene and
// composite programs on texture unit 1. Also draws a debug view of the map
// in the upper right quarter of the screen while toggled on (F3).
//
// Use: construct once the context exists, setScreenSize(), then each frame
// render() -> setUniforms() per receiving program -> drawDebug().
// render() leaves framebuffer 0 bound and the viewport at the screen size.
class ShadowMap {
public:
    ShadowMap();

    void setScreenSize(int width, int height);
    void render(std::vector<SpotLight>& spotLights, std::vector<std::shared_ptr<Model>>& models);
    // Leaves texture unit 1 active with the depth texture bound.
    void setUniforms(std::shared_ptr<Shader> shader);
    void drawDebug();
    void toggleDebugView() { showDepthMap = !showDepthMap; }

    // View matrix of the light; an up vector other than the x axis is used
    // only when the direction is parallel to x (or zero).
    static glm::mat4 lightView(const SpotLight& light);

    bool isDebugViewOn() const { return showDepthMap; }
    GLuint getDepthTexture() const { return depthTexture; }
    const glm::mat4& getLightSpaceMatrix() const { return lightSpaceMatrix; }

private:
    GLuint fbo = 0;
    GLuint depthTexture = 0;
    int width = 1024;
    int height = 1024;
    int screenWidth = 0;
    int screenHeight = 0;
    std::shared_ptr<Shader> shadowShader;
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
