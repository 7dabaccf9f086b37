#pragma once

#include <GL/glew.h>
#include <glm/glm.hpp>

#include <memory>
#include <string>
#include <vector>

class Shader;

// Off-screen render target of window size: two RGB8 colour textures
// (attachments 0 and 1) and a depth texture, plus a clockwise full-screen
// quad drawn with its own program.
//
// Owns its GL names (never deleted). No operation saves or restores bindings;
// the quad is wound clockwise, so draw it with front faces culled.
class PostProcFramebuffer {
public:
    PostProcFramebuffer(int width, int height, std::shared_ptr<Shader> shader);

    void bind();
    // Binds and clears both colour attachments to (0, 0, 0, 1), depth to 1.
    void bindAndClear();
    // As bindAndClear, but only inside `regions` (window rectangles x, y,
    // width, height; lower left origin); texels elsewhere keep their values.
    // Leaves the scissor test off, as every other pass expects.
    void bindAndClearRegions(const std::vector<glm::ivec4>& regions);
    // Binds framebuffer 0, whichever target was bound.
    void unbind();
    std::shared_ptr<Shader> getShader() const { return shader; }

    // Colour 0, depth and colour 1 on units u, u+1, u+2 and the named
    // samplers set to them; u == 0 uses "image", "depthMap", "color2".
    // The caller must have made `shader` current.
    void bindTextures(std::shared_ptr<Shader> shader, unsigned int firstUnit, std::string colorName,
                      std::string depthName, std::string color2Name);
    // The same with names that need no copy: the frame loop's per-frame
    // call, which must not allocate (the composite's names are longer than
    // std::string keeps without the heap).
    void bindTextures(const std::shared_ptr<Shader>& shader, unsigned int firstUnit, const char* colorName,
                      const char* depthName, const char* color2Name);
    // Draws the quad with the target's program: "image" on unit 2 and
    // "depthMap" on unit 3.
    void draw();
    // Copies colour attachment 0 into `framebuffer` (same size, nearest) and
    // leaves `framebuffer` bound for drawing and reading. The composite
    // shades only the pixels glass covers, so the lit scene is copied to the
    // window before its quad is drawn.
    void copyColorTo(GLuint framebuffer);

    GLuint getFramebuffer() const { return fbo; }
    GLuint getColorTexture() const { return colorTexture; }
    GLuint getColor2Texture() const { return color2Texture; }
    GLuint getDepthTexture() const { return depthTexture; }

private:
    GLuint fbo = 0;
    GLuint colorTexture = 0;
    GLuint color2Texture = 0;
    GLuint depthTexture = 0;
    int width = 0;
    int height = 0;
    GLuint vbo = 0;
    GLuint vao = 0;
    std::shared_ptr<Shader> shader;
};
