#pragma once

#include <GL/glew.h>
#include <glm/glm.hpp>

// What a mesh's material asks of the programs that draw it, beyond a colour
// texture. Each feature switches on code of its own in the lit, capture and
// shadow programs; a program is built for each combination a scene uses, so
// a mesh whose material uses none of them is drawn by the plain program and
// pays nothing for the others.
enum MaterialFeature : unsigned {
    // The mesh carries per-vertex colours (attribute 3) that multiply the
    // base colour.
    VertexColors = 1u << 0,
    // A tangent-space normal map on unit 13, with per-vertex tangents
    // (attribute 4).
    NormalMap = 1u << 1,
    // emissiveFactor (times the emissive texture on unit 14) adds to the
    // lit colour.
    Emissive = 1u << 2,
    // Fragments whose alpha is below alphaCutoff are discarded (glTF MASK).
    AlphaMask = 1u << 3,
    // Drawn after the opaque meshes, back to front, blended, without depth
    // writes (glTF BLEND, an opacity below 1, a colour texture with alpha).
    AlphaBlend = 1u << 4,
    // Drawn without face culling; back faces are lit with the flipped normal.
    TwoSided = 1u << 5,
    // glTF metallic-roughness shading (GGX, Smith, Schlick) from metallic,
    // roughness and the texture on unit 15 (green roughness, blue metal).
    MetalRoughness = 1u << 6,
    // A Blinn-Phong highlight of the file's own specular colour and exponent
    // instead of the default one (a matte material has specular colour 0).
    ClassicSpecular = 1u << 7,
};

// Texture units of the material's maps. Unit 0 is the colour texture; units
// 1 to 12 have fixed roles elsewhere in the frame (shadow map, composite
// inputs, captures).
constexpr GLenum normalMapUnit = 13;
constexpr GLenum emissiveMapUnit = 14;
constexpr GLenum metalRoughnessMapUnit = 15;

// One mesh's material, as the import made it. Colours are linear light.
// Texture names are GL textures owned by the loader's cache (shared between
// meshes, never deleted); 0 where the feature is off.
struct Material {
    unsigned features = 0;

    // The surface colour's texture, bound on unit 0: the material's diffuse
    // (base-colour) image, or a 1x1 texture of the material's own colour
    // when it has none or the image cannot be loaded. Never another kind of
    // map.
    GLuint colorTexture = 0;
    // Multiplies the colour texture (linear RGBA): the format's colour factor
    // where it defines one as multiplying the texture, alpha the opacity.
    glm::vec4 baseColorFactor{1.0f};

    GLuint normalTexture = 0;
    // Scales the map's x and y before renormalising (glTF normalTexture.scale).
    float normalScale = 1.0f;

    // Emissive colour; the emissive texture is white when the file gives a
    // factor only.
    GLuint emissiveTexture = 0;
    glm::vec3 emissiveFactor{0.0f};

    float alphaCutoff = 0.5f;

    // Metal-roughness texture (white when the file gives factors only).
    GLuint metalRoughnessTexture = 0;
    float metallic = 1.0f;
    float roughness = 1.0f;

    // The default highlight of classic materials; ClassicSpecular is set only
    // where the file states other values.
    glm::vec3 specularColor{0.25f};
    float shininess = 48.0f;

    bool has(MaterialFeature feature) const { return (features & feature) != 0; }
};
