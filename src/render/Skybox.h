#pragma once

#include <GL/glew.h>
#include <glm/glm.hpp>

#include <memory>
#include <string>
#include <vector>

class Shader;
class StbTexture;

// The night sky: a +-0.5 cube drawn around the camera with the cube map of
// "assets/skybox/mnight/mnight_{ft,bk,up,dn,rt,lf}.tga" (+X, -X, +Y, -Y, +Z,
// -Z), sampled on texture unit 0.
//
// Owns: the cube's vertex array, vertex and index buffers and the cube-map
// texture (never deleted; they end with the context); shares the sky program,
// which is empty until setShader().
//
// Use: construct once the context exists (loads the faces relative to the
// working directory), setShader() once, then each frame setMatrices(view,
// projection) and draw() after the scene geometry of the bound framebuffer.
class Skybox {
public:
    Skybox();

    void setShader(std::shared_ptr<Shader> shader);
    // Makes the sky program current and sets "view", without its translation
    // so the sky never moves with the camera, and "projection".
    void setMatrices(const glm::mat4& view, const glm::mat4& projection);
    // Draws with GL_LEQUAL (the sky lies on the far plane) and leaves the
    // depth function at GL_LESS; the cube map stays bound on unit 0, which is
    // left active. Face culling and the depth mask are used as they are.
    void draw();

    GLuint getCubemapId() const;

private:
    GLuint vbo = 0;
    GLuint vao = 0;
    GLuint ebo = 0;
    std::shared_ptr<StbTexture> cubemap;
    std::shared_ptr<Shader> shader;
    std::vector<std::string> faces;
};
