#version 430 core
// Lit scene, fragment stage: the mesh texture under the light the vertex
// stage gathered, with the first spot light's share shadowed per pixel, then
// tone-mapped for display.
//
// Lighting is done in linear light. Textures hold sRGB-encoded 8-bit colour
// (uploaded as plain RGBA), so each texel is decoded first; the lit result
// goes through a filmic tone curve, so bright lights roll off instead of
// clipping, and is encoded back to sRGB for the 8-bit target.
//
// On a CPU rasteriser every pixel of a SIMD block runs both sides of a
// branch, and each instruction here runs for every covered pixel of the
// screen: the code below keeps to selects and cheap arithmetic.

in vec2 texCoord;
in vec4 lightClipPosition;
in vec3 diffuseLight;
in vec3 specularLight;
in vec3 casterDiffuse;
in vec3 casterSpecular;
in float shadowBias;

// The mesh's first texture, on unit 0 (the sampler's default; never set).
uniform sampler2D diffuseTexture;

// The shadow-casting light's depth map on unit 1 (plain depth values, no
// compare mode, nearest filtering) and its projection; its view-projection
// "lightSpaceMatrix" is applied in the vertex stage. Before the first shadow
// pass the matrices are zero (a fresh program) or identity (a fresh shadow
// map); both leave everything lit.
uniform sampler2D shadowMap;
uniform mat4 lightSpaceProjMatrix;

layout(location = 0) out vec4 fragColor;

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

// Narkowicz's fit of the ACES filmic curve: near-linear in the mid tones,
// approaching 1 smoothly for values far above 1.
vec3 toneMap(vec3 c)
{
    return clamp((c * (2.51 * c + 0.03)) / (c * (2.43 * c + 0.59) + 0.14), 0.0, 1.0);
}

// Share of the shadow caster's light that reaches this fragment: 1 lit,
// 0 shadowed. The four map texels around the fragment are each compared
// with the fragment's distance and weighted bilinearly (percentage-closer
// filtering over 2 x 2 texels), which softens the edge over one texel.
float shadowVisibility()
{
    vec4 lightClip = lightClipPosition;
    // A perspective projection has P[3][2] = -2 * far * near / (far - near);
    // zero means no light projection has been handed over yet (identity).
    float p22 = lightSpaceProjMatrix[2][2];
    float p32 = lightSpaceProjMatrix[3][2];
    bool projectionKnown = abs(p32) >= 1e-12 && lightSpaceProjMatrix[1][1] > 0.0;
    // w <= 0: behind the light, and everywhere for the all-zero matrix that
    // precedes the first shadow pass.
    bool inFront = lightClip.w > 1e-6;
    vec3 ndc = lightClip.xyz / (inFront ? lightClip.w : 1.0);
    vec2 mapCoord = ndc.xy * 0.5 + 0.5;
    // The map repeats outside [0, 1], and nothing was drawn beyond the
    // light's near and far planes: such points count as lit.
    bool onMap = inFront && projectionKnown && all(greaterThanEqual(mapCoord, vec2(0.0))) &&
                 all(lessThanEqual(mapCoord, vec2(1.0))) && abs(ndc.z) <= 1.0;

    // Texel centres lie at half-integers: `base` is the corner between the
    // four centres around the fragment, `f` how far past the lower left
    // centre the fragment is.
    vec2 mapSize = vec2(textureSize(shadowMap, 0));
    vec2 grid = mapCoord * mapSize - 0.5;
    vec2 base = floor(grid);
    vec2 f = grid - base;
    // textureGather's order: (-,+), (+,+), (+,-), (-,-) texels about the
    // corner.
    vec4 stored = textureGather(shadowMap, (base + 1.0) / mapSize, 0);

    float receiver = lightClip.w - shadowBias;
    // A stored depth d is the distance p32 / (z + p22) with z = 2d - 1, and
    // z + p22 < 0 over the whole depth range, so "receiver before occluder",
    // r < p32 / (z + p22), is r * (z + p22) > p32: no division per texel.
    vec4 lit = vec4(greaterThanEqual(receiver * (stored * 2.0 - 1.0 + p22), vec4(p32)));
    float visible = mix(mix(lit.w, lit.z, f.x), mix(lit.x, lit.y, f.x), f.y);
    return onMap ? visible : 1.0;
}

void main()
{
    vec3 albedo = decodeSrgb(texture(diffuseTexture, texCoord).rgb);
    float visibility = shadowVisibility();
    vec3 light = albedo * (diffuseLight + visibility * casterDiffuse) + specularLight + visibility * casterSpecular;
    fragColor = vec4(encodeSrgb(toneMap(light)), 1.0);
}
