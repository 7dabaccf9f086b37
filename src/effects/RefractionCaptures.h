#pragma once

#include <glm/glm.hpp>

#include <memory>
#include <vector>

class Model;
class PostProcFramebuffer;
class ProgramVariants;
class Scene;
class Shader;

// The three screen-space captures of the transparent models that the
// composite reads: front faces and back faces with the "normal" program,
// then front faces with the "rrTest" program.
//
// Owns: testQuadShader, the variants of the "normal" and "rrTest" programs
// (built by render() for the feature sets of the transparent models'
// materials) and the three targets (width x height, the window's size).
// Use: construct after the post-processing target (start-up order), then
// each frame render() before the lit pass and, when compositing, with the
// composite program current, bindForComposite() and drawComposite().
class RefractionCaptures {
public:
    RefractionCaptures(int width, int height);
    ~RefractionCaptures();

    // Builds the programs the transparent models among `models` need, at
    // start-up (render() builds any still missing on first use).
    void buildPrograms(const std::vector<std::shared_ptr<Model>>& models);

    // Leaves framebuffer 0 bound, GL_BACK culled and the scissor test off.
    // First finds the window rectangles the transparent models may cover
    // (getGlassRegions); each target then ends as if cleared whole and drawn,
    // but only those rectangles and the previous frame's are cleared, and
    // with no glass on screen nothing is drawn. Expects the viewport to cover
    // the targets, as the regions are worked out for it.
    void render(Scene& scene, const glm::mat4& view, const glm::mat4& projection);
    // Units 4-6 front, 7-9 back, 10-12 reflection/refraction.
    void bindForComposite(std::shared_ptr<Shader> composite);

    // The composite's draw, with the composite program current and the
    // captures bound: copies the lit scene (colour 0 of `target`) to
    // framebuffer 0, which shows it unchanged wherever there is no glass,
    // then draws `target`'s clockwise quad with front faces culled, scissored
    // to each glass region in turn. Leaves framebuffer 0 bound, GL_BACK
    // culled and the scissor test off.
    void drawComposite(const std::shared_ptr<PostProcFramebuffer>& target);

    // Window rectangles (x, y, width, height; lower left origin), disjoint,
    // that together contain every transparent model drawn by the last
    // render(): each mesh's projected vertices, or its bounding sphere's
    // outline where a vertex lies behind the near plane. Empty when no glass
    // is on screen. Only these are shaded by the composite.
    const std::vector<glm::ivec4>& getGlassRegions() const { return glassRegions; }

    std::shared_ptr<PostProcFramebuffer> getFrontTarget() const { return refractionFrontTarget; }
    std::shared_ptr<PostProcFramebuffer> getBackTarget() const { return refractionBackTarget; }
    std::shared_ptr<PostProcFramebuffer> getReflectionRefractionTarget() const { return reflectionRefractionTarget; }
    ProgramVariants& getNormalPrograms() { return *normalPrograms; }
    ProgramVariants& getRRTestPrograms() { return *rrTestPrograms; }

private:
    // Builds what the glass needs, then sets the matrices on every variant.
    void setPassUniforms(ProgramVariants& programs, Scene& scene, const glm::mat4& view,
                         const glm::mat4& projection);
    void findGlassRegions(Scene& scene, const glm::mat4& view, const glm::mat4& projection);
    // Binds `target` and clears what this frame's draw needs cleared.
    void prepare(PostProcFramebuffer& target);

    int width;
    int height;
    std::shared_ptr<Shader> testQuadShader;
    std::unique_ptr<ProgramVariants> normalPrograms;
    std::shared_ptr<PostProcFramebuffer> refractionFrontTarget;
    std::shared_ptr<PostProcFramebuffer> refractionBackTarget;
    std::unique_ptr<ProgramVariants> rrTestPrograms;
    std::shared_ptr<PostProcFramebuffer> reflectionRefractionTarget;
    // Reused from frame to frame; grow only while more glass shows up.
    std::vector<glm::ivec4> glassRegions;
    // Where the last render() drew, the same for all three targets: every
    // texel outside them holds the clear values.
    std::vector<glm::ivec4> drawnRegions;
    // This frame's glass regions merged with drawnRegions: what to clear.
    std::vector<glm::ivec4> staleRegions;
    // False until the first render() has cleared the targets whole (their
    // texels are undefined at creation).
    bool targetsCleared = false;
};
