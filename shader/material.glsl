// What a mesh's material gives a fragment: its colour and alpha, and its
// normal map. Included by the fragment stages that draw meshes; the
// material's features come as defines (HAS_COLOR_FACTOR, HAS_VERTEX_COLORS,
// HAS_NORMAL_MAP, HAS_ALPHA_MASK), and a material without them compiles to
// the texture lookup alone.
//
// Colour textures hold sRGB-encoded 8-bit colour (uploaded as plain RGBA)
// and linear alpha; factors and vertex colours are linear.

in vec2 texCoord;
#ifdef HAS_VERTEX_COLORS
// The mesh's first colour set (linear RGBA), interpolated.
in vec4 vertexColor;
#endif
#ifdef HAS_NORMAL_MAP
// Tangent (xyz, along increasing u) in the space of the fragment's normal;
// w is the sign of the bitangent: bitangent = w * cross(normal, tangent).
in vec4 vertexTangent;
// Tangent-space normals on unit 13, stored as n * 0.5 + 0.5 (linear).
uniform sampler2D normalTexture;
// Scales the map's x and y before renormalising.
uniform float normalScale;
#endif
#ifdef HAS_COLOR_FACTOR
// Multiplies the colour texture (linear RGBA).
uniform vec4 baseColorFactor;
#endif
#ifdef HAS_ALPHA_MASK
// Fragments whose alpha is below this are discarded.
uniform float alphaCutoff;
#endif

// The material's colour texture, on unit 0 (the sampler's default; never
// set).
uniform sampler2D diffuseTexture;

// sRGB to linear: a polynomial fit of the exact curve (a linear toe, then
// ((c + 0.055) / 1.055)^2.4), weighted by how much each error shows after
// encoding back: the round trip stays within about one 8-bit step.
vec3 decodeSrgb(vec3 c)
{
    return c * (0.051072465 + c * (0.442669829 + c * (0.732460909 - 0.229692785 * c)));
}

// Linear to sRGB for c in [0, 1]: 12.92 c in the toe, above it a fit of
// 1.055 c^(1/2.4) - 0.055 from c^(1/2), c^(1/4) and c^(1/8), within half an
// 8-bit step of the exact curve and exact at 1.
vec3 encodeSrgb(vec3 c)
{
    vec3 s1 = sqrt(c);
    vec3 s2 = sqrt(s1);
    vec3 s3 = sqrt(s2);
    vec3 high = 0.585122381 * s1 + 0.783140355 * s2 - 0.368262736 * s3;
    return mix(high, c * 12.92, lessThanEqual(c, vec3(0.0031308)));
}

// The surface colour in linear light and its alpha, from a texel of the
// colour texture: the texel times the colour factor times the vertex colour.
vec4 surfaceColor(vec4 texel)
{
    vec4 color = vec4(decodeSrgb(texel.rgb), texel.a);
#ifdef HAS_COLOR_FACTOR
    color *= baseColorFactor;
#endif
#ifdef HAS_VERTEX_COLORS
    color *= vertexColor;
#endif
    return color;
}

#ifdef HAS_NORMAL_MAP
// The normal map's normal in the space of the unit normal `n`. The tangent
// is made perpendicular to `n` first (it was interpolated, and the model
// matrix may have turned it), the bitangent follows from the two; the map's
// x runs along the tangent, y along the bitangent, z along `n`.
vec3 mappedNormal(vec3 n)
{
    vec3 t = vertexTangent.xyz - n * dot(n, vertexTangent.xyz);
    t *= inversesqrt(max(dot(t, t), 1e-30));
    vec3 b = (vertexTangent.w < 0.0 ? -1.0 : 1.0) * cross(n, t);
    vec3 m = texture(normalTexture, texCoord).xyz * 2.0 - 1.0;
    m.xy *= normalScale;
    vec3 mapped = t * m.x + b * m.y + n * m.z;
    // A zero normal (no mesh normal, or a map texel of zero length) stays
    // zero: it lights nothing.
    return mapped * inversesqrt(max(dot(mapped, mapped), 1e-30));
}
#endif
