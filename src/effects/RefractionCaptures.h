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
// Owns: testQuadShader, normalShader, rrTestShader and the three targets.
// Use: construct after the post-processing target (start-up order), then
// each frame render() before the lit pass and, when compositing,
// bindForComposite() with the composite program current.
class RefractionCaptures {
public:
    RefractionCaptures(int width, int height);

    // Leaves framebuffer 0 bound and GL_BACK culled.
    void render(Scene& scene, const glm::mat4& view, const glm::mat4& projection);
    // Units 4-6 front, 7-9 back, 10-12 reflection/refraction.
    void bindForComposite(std::shared_ptr<Shader> composite);

    std::shared_ptr<PostProcFramebuffer> getFrontTarget() const { return refractionFrontTarget; }
    std::shared_ptr<PostProcFramebuffer> getBackTarget() const { return refractionBackTarget; }
    std::shared_ptr<PostProcFramebuffer> getReflectionRefractionTarget() const { return reflectionRefractionTarget; }
    std::shared_ptr<Shader> getNormalShader() const { return normalShader; }
    std::shared_ptr<Shader> getRRTestShader() const { return rrTestShader; }

private:
    std::shared_ptr<Shader> testQuadShader;
    std::shared_ptr<Shader> normalShader;
    std::shared_ptr<PostProcFramebuffer> refractionFrontTarget;
    std::shared_ptr<PostProcFramebuffer> refractionBackTarget;
    std::shared_ptr<Shader> rrTestShader;
    std::shared_ptr<PostProcFramebuffer> reflectionRefractionTarget;
};
