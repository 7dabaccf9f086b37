#pragma once

#include <glm/glm.hpp>

#include <memory>

class PostProcFramebuffer;
class Scene;
class Shader;

// The three screen-space captures of the transparent models that the
// composite reads: front faces and back faces with the "normal" program,
// then front faces with the "rrTest" program.
//
// Owns: testQuadShader, normalShader, rrTestShader and the three targets
// (width x height, the window's size).
// Use: construct after the post-processing target (start-up order), then
// each frame render() before the lit pass and, when compositing,
// bindForComposite() with the composite program current.
class RefractionCaptures {
public:
    RefractionCaptures(int width, int height);

    // Leaves framebuffer 0 bound and GL_BACK culled. Also finds the window
    // rectangle the transparent models may cover (getGlassBounds).
    void render(Scene& scene, const glm::mat4& view, const glm::mat4& projection);
    // Units 4-6 front, 7-9 back, 10-12 reflection/refraction.
    void bindForComposite(std::shared_ptr<Shader> composite);

    // Window pixels (x, y, width, height; lower left origin) that contain
    // every transparent model drawn by the last render(), from the models'
    // bounding spheres; width and height 0 when none is on screen. The
    // composite needs to shade only this rectangle.
    const glm::ivec4& getGlassBounds() const { return glassBounds; }

    std::shared_ptr<PostProcFramebuffer> getFrontTarget() const { return refractionFrontTarget; }
    std::shared_ptr<PostProcFramebuffer> getBackTarget() const { return refractionBackTarget; }
    std::shared_ptr<PostProcFramebuffer> getReflectionRefractionTarget() const { return reflectionRefractionTarget; }
    std::shared_ptr<Shader> getNormalShader() const { return normalShader; }
    std::shared_ptr<Shader> getRRTestShader() const { return rrTestShader; }

private:
    void findGlassBounds(Scene& scene, const glm::mat4& view, const glm::mat4& projection);

    int width;
    int height;
    std::shared_ptr<Shader> testQuadShader;
    std::shared_ptr<Shader> normalShader;
    std::shared_ptr<PostProcFramebuffer> refractionFrontTarget;
    std::shared_ptr<PostProcFramebuffer> refractionBackTarget;
    std::shared_ptr<Shader> rrTestShader;
    std::shared_ptr<PostProcFramebuffer> reflectionRefractionTarget;
    glm::ivec4 glassBounds{0};
};
