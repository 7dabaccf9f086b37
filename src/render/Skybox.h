#pragma once

#include <GL/glew.h>
#include <glm/glm.hpp>

#include <memory>
#include <string>
#include <vector>

class Shader;
class StbTexture;

// The night sky: a +-0.5 cube drawn around the camera with the cube map of
// "assets/skybox/mnight/mnight_*.tga" on texture unit 0.
//
// Use: construct (loads the faces), setShader() once, then each frame
// setMatrices(view, projection) and draw() after the scene geometry.
// draw() uses GL_LEQUAL and restores GL_LESS.
class Skybox {
public:
    Skybox();

    void setShader(std::shared_ptr<Shader> shader);
    // "view" loses its translation so the sky never moves with the camera.
    void setMatrices(const glm::mat4& view, const glm::mat4& projection);
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
