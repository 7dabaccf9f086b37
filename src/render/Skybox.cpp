#include "render/Skybox.h"

#include "render/Shader.h"
#include "render/StbTexture.h"

namespace {

// Corners of a cube of edge 1 centred on the eye.
const float corners[24] = {
    -0.5f, -0.5f, -0.5f,
    0.5f, -0.5f, -0.5f,
    0.5f, 0.5f, -0.5f,
    -0.5f, 0.5f, -0.5f,
    -0.5f, -0.5f, 0.5f,
    0.5f, -0.5f, 0.5f,
    0.5f, 0.5f, 0.5f,
    -0.5f, 0.5f, 0.5f,
};

// Two triangles per face, each counter-clockwise as seen from inside the
// cube, so back-face culling keeps them for an eye at the centre.
const GLuint cornerIndices[36] = {
    0, 1, 2, 2, 3, 0, // z = -0.5
    4, 6, 5, 7, 6, 4, // z = +0.5
    0, 4, 5, 0, 5, 1, // y = -0.5
    2, 7, 3, 2, 6, 7, // y = +0.5
    1, 5, 6, 6, 2, 1, // x = +0.5
    0, 3, 7, 0, 7, 4, // x = -0.5
};

} // namespace

Skybox::Skybox()
{
    faces = {
        "assets/skybox/mnight/mnight_ft.tga", // +X
        "assets/skybox/mnight/mnight_bk.tga", // -X
        "assets/skybox/mnight/mnight_up.tga", // +Y
        "assets/skybox/mnight/mnight_dn.tga", // -Y
        "assets/skybox/mnight/mnight_rt.tga", // +Z
        "assets/skybox/mnight/mnight_lf.tga", // -Z
    };

    glGenVertexArrays(1, &vao);
    glGenBuffers(1, &vbo);
    glGenBuffers(1, &ebo);
    glBindVertexArray(vao);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ebo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof cornerIndices, cornerIndices, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 3 * sizeof(float), nullptr);
    glEnableVertexAttribArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindVertexArray(0);

    cubemap = std::make_shared<StbTexture>();
    cubemap->loadCubemap(faces);
}

void Skybox::setShader(std::shared_ptr<Shader> s) { shader = std::move(s); }

void Skybox::setMatrices(const glm::mat4& view, const glm::mat4& projection)
{
    if (!shader)
        return;
    shader->use();
    shader->setMat4("view", glm::mat4(glm::mat3(view)));
    shader->setMat4("projection", projection);
}

void Skybox::draw()
{
    if (!shader)
        return;
    // The sky's fragments lie on the far plane, where the cleared depth is 1.
    glDepthFunc(GL_LEQUAL);
    shader->use();
    glBindVertexArray(vao);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cubemap->getId());
    glDrawElements(GL_TRIANGLES, 36, GL_UNSIGNED_INT, nullptr);
    glBindVertexArray(0);
    glDepthFunc(GL_LESS);
}

GLuint Skybox::getCubemapId() const { return cubemap->getId(); }
