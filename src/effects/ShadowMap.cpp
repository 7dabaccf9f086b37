#include "effects/ShadowMap.h"

#include "render/DepthTexture.h"
#include "render/QuadVertexArray.h"
#include "render/Model.h"
#include "render/ProgramVariants.h"
#include "render/Shader.h"

#include <glm/gtc/matrix_transform.hpp>

#include <algorithm>
#include <cmath>
#include <iostream>

namespace {

// Debug quad: x, y, z, u, v; two clockwise triangles over x, y in [0, 1]
// (the upper right quarter in clip space), texture coordinates equal to x, y.
const float debugQuad[30] = {
    1.0f, 1.0f, 0.0f, 1.0f, 1.0f,
    1.0f, 0.0f, 0.0f, 1.0f, 0.0f,
    0.0f, 1.0f, 0.0f, 0.0f, 1.0f,
    1.0f, 0.0f, 0.0f, 1.0f, 0.0f,
    0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
    0.0f, 1.0f, 0.0f, 0.0f, 1.0f,
};

bool isFinite(const glm::mat4& m)
{
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            if (!std::isfinite(m[c][r]))
                return false;
    return true;
}

// The light view for the directions the usual up vector cannot serve: those
// parallel to the x axis (the cross product with x vanishes) and zero or
// unnormalisable ones, which look along -z.
glm::mat4 fallbackLightView(const glm::vec3& position, const glm::vec3& direction)
{
    // Scaling by the largest component first keeps tiny directions from
    // underflowing in the length.
    const float largest = std::max({std::fabs(direction.x), std::fabs(direction.y), std::fabs(direction.z)});
    glm::vec3 d(0.0f, 0.0f, -1.0f);
    if (largest > 0.0f && std::isfinite(largest))
        d = glm::normalize(direction / largest);
    glm::vec3 up = glm::cross(glm::vec3(1.0f, 0.0f, 0.0f), d);
    if (glm::length(up) < 1e-3f)
        up = glm::vec3(0.0f, 1.0f, 0.0f);
    return glm::lookAt(position, position + d, up);
}

} // namespace

ShadowMap::ShadowMap()
    : shadowPrograms(std::make_unique<ProgramVariants>(ProgramVariants::Depth, "shader/shadowmap.vert",
                                                       "shader/shadowmap.frag"))
{
    glGenFramebuffers(1, &fbo);
    depthTexture = createDepthTexture(width, height);

    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depthTexture, 0);
    glDrawBuffer(GL_NONE);
    glReadBuffer(GL_NONE);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        std::cout << "ERROR::SHADOWMAP Framebuffer not complete" << std::endl;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    createQuadVertexArray(debugQuad, sizeof debugQuad / (5 * sizeof(float)), vao, vbo);

    debugShader = Shader::build("shader/depthdbg.vert", "shader/depthdbg.frag");
}

void ShadowMap::setScreenSize(int w, int h)
{
    screenWidth = w;
    screenHeight = h;
}

glm::mat4 ShadowMap::lightView(const SpotLight& light)
{
    const glm::vec3 d = glm::normalize(light.direction);
    // Not normalised: glm::lookAt normalises what it derives from it.
    const glm::vec3 up = glm::cross(glm::vec3(1.0f, 0.0f, 0.0f), d);
    const glm::mat4 view = glm::lookAt(light.position, light.position + d, up);
    const bool positionFinite =
        std::isfinite(light.position.x) && std::isfinite(light.position.y) && std::isfinite(light.position.z);
    // Every usable direction keeps the matrix above, bit for bit.
    if (isFinite(view) || !positionFinite)
        return view;
    return fallbackLightView(light.position, light.direction);
}

ShadowMap::~ShadowMap() = default;

void ShadowMap::buildPrograms(const std::vector<std::shared_ptr<Model>>& models)
{
    shadowPrograms->build(models, false);
}

void ShadowMap::render(std::vector<SpotLight>& spotLights, std::vector<std::shared_ptr<Model>>& models)
{
    // Nothing is built once every variant the models need exists.
    shadowPrograms->build(models, false);
    if (!spotLights.empty()) {
        // Only the first spot light casts shadows.
        const SpotLight& light = spotLights.front();
        const glm::mat4 view = lightView(light);
        // 90 degrees: glm::perspective halves the angle, so tanf sees exactly
        // 0.7853982f.
        const glm::mat4 projection =
            glm::perspective(2.0f * 0.7853982f, static_cast<float>(width) / static_cast<float>(height), nearPlane,
                             farPlane);
        lightSpaceMatrix = projection * view;
        lightSpaceViewMatrix = view;
        lightSpaceProjMatrix = projection;
        lightPosition = light.position;
        lightColor = light.color;
    }
    for (const auto& entry : shadowPrograms->getPrograms()) {
        entry.second->use();
        entry.second->setMat4("lightSpaceMatrix", lightSpaceMatrix);
    }
    shadowPrograms->resetCurrent();

    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glViewport(0, 0, width, height);
    glClear(GL_DEPTH_BUFFER_BIT);
    // Opaque models only: transparent ones cast no shadow. Blended meshes
    // cast where their alpha reaches 0.5, masked ones where it reaches their
    // cutoff; two-sided ones from both faces.
    for (const std::shared_ptr<Model>& model : models)
        model->draw(*shadowPrograms, false, false);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, screenWidth, screenHeight);

    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
        std::cout << "Shadow Map OpenGL Error: " << error << std::endl;
}

void ShadowMap::setUniforms(std::shared_ptr<Shader> shader)
{
    shader->use();
    shader->setMat4("lightSpaceMatrix", lightSpaceMatrix);
    shader->setMat4("lightSpaceViewMatrix", lightSpaceViewMatrix);
    shader->setMat4("lightSpaceProjMatrix", lightSpaceProjMatrix);
    shader->setVec3("lightPosition", lightPosition);
    shader->setVec3("lightColor", lightColor);
    shader->setInt("shadowMap", 1);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, depthTexture);
}

void ShadowMap::drawDebug()
{
    if (!showDepthMap)
        return;
    debugShader->use();
    debugShader->setInt("depthMap", 0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, depthTexture);
    glBindVertexArray(vao);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glBindVertexArray(0);
}
