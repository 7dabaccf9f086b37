#include "effects/PostProcFramebuffer.h"

#include "render/DepthTexture.h"
#include "render/QuadVertexArray.h"
#include "render/Shader.h"

#include <iostream>

namespace {

// Two clockwise triangles covering clip space: x, y, z, u, v per vertex.
const float quadVertices[30] = {
    1.0f,  1.0f,  0.0f, 1.0f, 1.0f,
    1.0f,  -1.0f, 0.0f, 1.0f, 0.0f,
    -1.0f, 1.0f,  0.0f, 0.0f, 1.0f,
    1.0f,  -1.0f, 0.0f, 1.0f, 0.0f,
    -1.0f, -1.0f, 0.0f, 0.0f, 0.0f,
    -1.0f, 1.0f,  0.0f, 0.0f, 1.0f,
};
static_assert(sizeof(quadVertices) == 120, "the quad is six vertices of five floats");

GLuint makeColorTexture(int width, int height)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return texture;
}

} // namespace

PostProcFramebuffer::PostProcFramebuffer(int w, int h, std::shared_ptr<Shader> s)
    : width(w), height(h)
{
    glGenFramebuffers(1, &fbo);

    colorTexture = makeColorTexture(width, height);
    color2Texture = makeColorTexture(width, height);

    depthTexture = createDepthTexture(width, height);

    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colorTexture, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1, GL_TEXTURE_2D, color2Texture, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depthTexture, 0);
    const GLenum drawBuffers[2] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1};
    glDrawBuffers(2, drawBuffers);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        std::cout << "ERROR::POSTPROCESSING Framebuffer not complete" << std::endl;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    createQuadVertexArray(quadVertices, sizeof(quadVertices) / (5 * sizeof(float)), vao, vbo);

    shader = std::move(s);
}

void PostProcFramebuffer::bind() { glBindFramebuffer(GL_FRAMEBUFFER, fbo); }

void PostProcFramebuffer::bindAndClear()
{
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void PostProcFramebuffer::bindAndClearRegions(const std::vector<glm::ivec4>& regions)
{
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glEnable(GL_SCISSOR_TEST);
    for (const glm::ivec4& region : regions) {
        glScissor(region.x, region.y, region.z, region.w);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    glDisable(GL_SCISSOR_TEST);
}

void PostProcFramebuffer::unbind() { glBindFramebuffer(GL_FRAMEBUFFER, 0); }

void PostProcFramebuffer::bindTextures(std::shared_ptr<Shader> target, unsigned int firstUnit, std::string colorName,
                                       std::string depthName, std::string color2Name)
{
    bindTextures(target, firstUnit, colorName.c_str(), depthName.c_str(), color2Name.c_str());
}

void PostProcFramebuffer::bindTextures(const std::shared_ptr<Shader>& target, unsigned int firstUnit,
                                       const char* colorName, const char* depthName, const char* color2Name)
{
    const int unit = static_cast<int>(firstUnit);
    if (firstUnit != 0) {
        target->setInt(colorName, unit);
        target->setInt(depthName, unit + 1);
        target->setInt(color2Name, unit + 2);
    } else {
        // Unit 0 always means the composite's own default names.
        target->setInt("image", 0);
        target->setInt("depthMap", 1);
        target->setInt("color2", 2);
    }
    // Colour 0, then depth on the middle unit, then colour 1.
    glActiveTexture(GL_TEXTURE0 + firstUnit);
    glBindTexture(GL_TEXTURE_2D, colorTexture);
    glActiveTexture(GL_TEXTURE0 + firstUnit + 1);
    glBindTexture(GL_TEXTURE_2D, depthTexture);
    glActiveTexture(GL_TEXTURE0 + firstUnit + 2);
    glBindTexture(GL_TEXTURE_2D, color2Texture);
}

void PostProcFramebuffer::draw()
{
    shader->use();
    shader->setInt("image", 2);
    shader->setInt("depthMap", 3);
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, colorTexture);
    glActiveTexture(GL_TEXTURE3);
    glBindTexture(GL_TEXTURE_2D, depthTexture);
    glBindVertexArray(vao);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glBindVertexArray(0);
}

void PostProcFramebuffer::copyColorTo(GLuint framebuffer)
{
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
}
