#include "render/ProgramVariants.h"

#include "render/Mesh.h"
#include "render/Model.h"
#include "render/Shader.h"

namespace {

struct FeatureName {
    unsigned bit;
    const char* name;
    const char* define;
};

const FeatureName featureNames[] = {
    {VertexColors, "VertexColors", "HAS_VERTEX_COLORS"},
    {NormalMap, "NormalMap", "HAS_NORMAL_MAP"},
    {Emissive, "Emissive", "HAS_EMISSIVE"},
    {AlphaMask, "AlphaMask", "HAS_ALPHA_MASK"},
    {AlphaBlend, "AlphaBlend", "HAS_ALPHA_BLEND"},
    {TwoSided, "TwoSided", "HAS_TWO_SIDED"},
    {MetalRoughness, "MetalRoughness", "HAS_METAL_ROUGHNESS"},
    {ClassicSpecular, "ClassicSpecular", "HAS_CLASSIC_SPECULAR"},
    {ProgramVariants::ColorFactor, "ColorFactor", "HAS_COLOR_FACTOR"},
};

// The features each kind of program has code for.
unsigned featuresRead(ProgramVariants::Kind kind)
{
    switch (kind) {
    case ProgramVariants::Lit:
        return ~0u;
    case ProgramVariants::Reflection:
        // The capture keeps no alpha, and draws front faces only: its
        // front/back split comes from culling, which glass keeps.
        return ~(unsigned(AlphaBlend) | TwoSided);
    case ProgramVariants::Normal:
        return VertexColors | NormalMap | AlphaMask;
    case ProgramVariants::Depth:
        return VertexColors | AlphaMask | AlphaBlend;
    }
    return 0;
}

} // namespace

ProgramVariants::ProgramVariants(Kind kind, std::string vertexPath, std::string fragmentPath, std::string baseDefines)
    : kind(kind), vertexPath(std::move(vertexPath)), fragmentPath(std::move(fragmentPath)),
      baseDefines(std::move(baseDefines))
{
}

unsigned ProgramVariants::keyOf(const Mesh& mesh) const
{
    const Material& material = mesh.getMaterial();
    unsigned key = material.features & featuresRead(kind);
    if (key == 0 && material.baseColorFactor == glm::vec4(1.0f))
        return 0;
    // Attributes the mesh does not carry would read as constant zeros.
    if (!mesh.hasVertexColors())
        key &= ~unsigned(VertexColors);
    if (!mesh.hasTangents() || material.normalTexture == 0)
        key &= ~unsigned(NormalMap);
    if (material.emissiveTexture == 0)
        key &= ~unsigned(Emissive);
    if (material.metalRoughnessTexture == 0)
        key &= ~unsigned(MetalRoughness);

    const bool alphaCounts = (key & (AlphaMask | AlphaBlend)) != 0;
    if (kind == Depth) {
        // Only the alpha of a mask or a blend decides what casts.
        if (!alphaCounts)
            return 0;
        if (material.baseColorFactor.a != 1.0f)
            key |= ColorFactor;
        return key;
    }
    const glm::vec4& factor = material.baseColorFactor;
    if (glm::vec3(factor) != glm::vec3(1.0f) || (alphaCounts && factor.a != 1.0f))
        key |= ColorFactor;
    return key;
}

void ProgramVariants::build(const std::vector<std::shared_ptr<Model>>& models, bool transparentModels)
{
    for (const std::shared_ptr<Model>& model : models)
        if (model->isTransparent() == transparentModels)
            for (const std::shared_ptr<Mesh>& mesh : model->getMeshes())
            get(keyOf(*mesh));
}

std::shared_ptr<Shader> ProgramVariants::get(unsigned key)
{
    for (const auto& entry : programs)
        if (entry.first == key)
            return entry.second;
    const std::string defines = baseDefines + definesFor(key);
    auto shader = std::make_shared<Shader>();
    shader->attachShader(vertexPath.c_str(), Shader::Vertex, definesFor(key));
    shader->attachShader(fragmentPath.c_str(), Shader::Fragment, defines);
    shader->link();
    // The maps' texture units are fixed; samplers keep what is set here.
    if (key & (NormalMap | Emissive | MetalRoughness)) {
        shader->use();
        shader->setInt("normalTexture", normalMapUnit);
        shader->setInt("emissiveTexture", emissiveMapUnit);
        shader->setInt("metalRoughnessTexture", metalRoughnessMapUnit);
        current = nullptr;
    }
    programs.emplace_back(key, shader);
    return shader;
}

Shader& ProgramVariants::forMesh(const Mesh& mesh)
{
    const unsigned key = keyOf(mesh);
    Shader* shader = nullptr;
    for (const auto& entry : programs)
        if (entry.first == key)
            shader = entry.second.get();
    if (!shader)
        shader = get(key).get();
    if (shader != current) {
        shader->use();
        current = shader;
    }
    return *shader;
}

std::string ProgramVariants::definesFor(unsigned key)
{
    std::string defines;
    for (const FeatureName& feature : featureNames)
        if (key & feature.bit)
            defines += std::string("#define ") + feature.define + "\n";
    return defines;
}

std::string ProgramVariants::nameOf(unsigned key)
{
    std::string name;
    for (const FeatureName& feature : featureNames)
        if (key & feature.bit)
            name += (name.empty() ? "" : "+") + std::string(feature.name);
    return name.empty() ? "plain" : name;
}
