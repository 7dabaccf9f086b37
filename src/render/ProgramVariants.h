#pragma once

#include "render/Material.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class Mesh;
class Model;
class Shader;

// One program (a vertex and a fragment file) built once per combination of
// material features that the scene's meshes need from it, each combination
// switched on by defines ("#define HAS_NORMAL_MAP", ...) in both stages.
// A mesh whose material uses no feature is drawn by the variant without
// defines, which is the plain program: it pays nothing for the features.
//
// Owns: the variants, each a shared Shader.
// Use:  construct (builds nothing), build() once the scene's models are
//       loaded; per pass set the pass's uniforms on every variant
//       (getPrograms()), then draw each mesh with forMesh(), which makes its
//       variant current. A key that build() did not see is built by
//       forMesh() on first use, without the pass's uniforms until the next
//       pass sets them: call build() again after adding models.
class ProgramVariants {
public:
    // What each program does with the features: its key keeps only the
    // features that change its code.
    enum Kind {
        Lit,        // lit pass: every feature
        Reflection, // "rrTest" capture: every feature but blending and
                    // two-sided (the captures keep culling, see Model)
        Normal,     // "normal" captures: colour, normal map and mask
        Depth,      // shadow map: alpha only (a mask, or a blended mesh's
                    // alpha at least 0.5), with its colour sources
    };
    // Beyond the material features: baseColorFactor multiplies the colour
    // (its colour differs from white, or its alpha counts for a mask or a
    // blend).
    static constexpr unsigned ColorFactor = 1u << 8;

    ProgramVariants(Kind kind, std::string vertexPath, std::string fragmentPath, std::string baseDefines = "");

    // The variant `mesh` is drawn with: its material's features this kind
    // of program reads, VertexColors and NormalMap only where the mesh
    // carries the colours, tangents and map they need.
    unsigned keyOf(const Mesh& mesh) const;
    // Builds the variant of every key needed by the meshes of the models
    // whose transparency class is `transparentModels` (the ones the passes
    // of this program draw). Nothing is built once all exist.
    void build(const std::vector<std::shared_ptr<Model>>& models, bool transparentModels);
    // The variant for `key`, built now if it was not yet.
    std::shared_ptr<Shader> get(unsigned key);
    // The variant for `mesh`, made current (glUseProgram) when it is not the
    // last one this object made current.
    Shader& forMesh(const Mesh& mesh);
    // Forget which variant is current (call when other code may have
    // changed the program in use).
    void resetCurrent() { current = nullptr; }

    const std::vector<std::pair<unsigned, std::shared_ptr<Shader>>>& getPrograms() const { return programs; }
    Kind getKind() const { return kind; }

    // The defines of a key, one "#define HAS_..." line per feature.
    static std::string definesFor(unsigned key);
    // "plain", or the features joined by '+' ("NormalMap+TwoSided").
    static std::string nameOf(unsigned key);

private:
    Kind kind;
    std::string vertexPath;
    std::string fragmentPath;
    std::string baseDefines;
    std::vector<std::pair<unsigned, std::shared_ptr<Shader>>> programs;
    Shader* current = nullptr;
};
