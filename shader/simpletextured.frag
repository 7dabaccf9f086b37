#version 430 core
// Lit scene, fragment stage: every light, the ambient term and the first
// spot light's shadow, evaluated for each pixel from the interpolated
// (renormalised) normal, on the mesh's material; then tone-mapped for
// display. The lighting itself is in lighting.glsl, shared with the
// reflection/refraction capture.

#include "lighting.glsl"

in vec3 worldPosition;
in vec3 worldNormal;
in vec3 toCamera;
in vec4 lightClipPosition;

// The shadow-casting light: its depth map on unit 1 (plain depth values, no
// compare mode, nearest filtering, repeating), its projection and its
// position (zero before the first shadow pass, when no spot light matches).
// Before the first shadow pass the matrices are zero (a fresh program) or
// identity (a fresh shadow map); both leave everything lit.
uniform sampler2D shadowMap;
uniform mat4 lightSpaceProjMatrix;
uniform vec3 lightPosition;

layout(location = 0) out vec4 fragColor;

// Share of the shadow caster's light that reaches this fragment: 1 lit,
// 0 shadowed, soft in between.
//
// Percentage-closer filtering over a 3 x 3-texel box, moved with the
// fragment at sub-texel precision: the box covers parts of the 4 x 4 texels
// around the fragment, with weights (1 - f, 1, 1, f) along each axis (f is
// how far past a texel centre the fragment lies), so the result slides
// smoothly from texel to texel. Four textureGathers fetch the 16 texels.
//
// Each texel is compared with the receiver's own surface extended to that
// texel (a receiver-plane bias): across a flat triangle the inverse of the
// distance along the light's axis, 1/w, is an affine function of the map
// position, and its gradient follows from the screen-space derivatives.
// Extending the plane, rather than comparing every texel with the
// fragment's own depth, is what keeps a ground lit at a grazing angle free
// of acne without pushing the shadow away from its caster. A small constant
// plus a fifth of a texel's worth of that slope absorbs the depth map's
// rounding and the derivatives' error.
float shadowVisibility()
{
    vec4 lightClip = lightClipPosition;
    // A perspective projection has P[3][2] = -2 * far * near / (far - near);
    // zero means no light projection has been handed over yet (identity).
    float p22 = lightSpaceProjMatrix[2][2];
    float p32 = lightSpaceProjMatrix[3][2];
    float p11 = lightSpaceProjMatrix[1][1];
    bool projectionKnown = abs(p32) >= 1e-12 && p11 > 0.0;
    // w <= 0: behind the light, and everywhere for the all-zero matrix that
    // precedes the first shadow pass.
    bool inFront = lightClip.w > 1e-6;
    float inverseW = 1.0 / (inFront ? lightClip.w : 1.0);
    vec3 ndc = lightClip.xyz * inverseW;
    // The map repeats outside [-1, 1], and nothing was drawn beyond the
    // light's near and far planes: such points count as lit.
    bool onMap = inFront && projectionKnown && all(lessThanEqual(abs(ndc), vec3(1.0)));

    // Map position in texels, texel centres at whole numbers: `base` is the
    // texel centre at or below the fragment, `f` how far past it.
    vec2 mapSize = vec2(textureSize(shadowMap, 0));
    vec2 grid = (ndc.xy * 0.5 + 0.5) * mapSize - 0.5;
    vec2 base = floor(grid);
    vec2 f = grid - base;

    // Gradient g of 1/w per texel: solve J^T g = (d(1/w)/dx, d(1/w)/dy)
    // with J the screen-to-map Jacobian. A triangle seen edge-on has no
    // usable gradient (det near 0); the clamp at the slope of a surface
    // turned 87 degrees from the light (tan = 20) bounds what a bad
    // derivative can do.
    vec3 dx = dFdx(vec3(grid, inverseW));
    vec3 dy = dFdy(vec3(grid, inverseW));
    float det = dx.x * dy.y - dx.y * dy.x;
    vec2 g = vec2(dx.z * dy.y - dx.y * dy.z, dx.x * dy.z - dx.z * dy.x) / (abs(det) > 1e-12 ? det : 1.0);
    // One texel spans 2 w / (p11 * height) world units, so a surface at
    // angle theta to the light changes 1/w by 2 tan(theta) / (w p11 height)
    // per texel.
    float steepest = 40.0 * inverseW / (max(p11, 1e-6) * mapSize.y);
    g = abs(det) > 1e-12 ? clamp(g, -steepest, steepest) : vec2(0.0);
    float bias = 1e-4 * inverseW + 0.2 * (abs(g.x) + abs(g.y));

    // A stored depth d is at z = 2d - 1 in the light's clip space, where
    // 1/w = (z + p22) / p32: 1/w = d * scaleD + offsetD. "Lit" is "the
    // occluder is no nearer than the receiver", stored 1/w <= receiver 1/w.
    float scaleD = 2.0 / p32;
    float offsetD = (p22 - 1.0) / p32;
    float reference = inverseW + bias;

    // Gathers at the corners between texel columns base-1 | base and
    // base+1 | base+2 (likewise rows). textureGather's order about a
    // corner: (-,+), (+,+), (+,-), (-,-); kept off the map's outer ring so
    // the repeating map never wraps a texel in.
    vec4 lowX = vec4(-1.0, 0.0, 0.0, -1.0) - f.x;
    vec4 highX = lowX + 2.0;
    vec4 lowY = vec4(0.0, 0.0, -1.0, -1.0) - f.y;
    vec4 highY = lowY + 2.0;
    vec4 weightLowX = vec4(1.0 - f.x, 1.0, 1.0, 1.0 - f.x);
    vec4 weightHighX = vec4(1.0, f.x, f.x, 1.0);
    vec4 weightLowY = vec4(1.0, 1.0, 1.0 - f.y, 1.0 - f.y);
    vec4 weightHighY = vec4(f.y, f.y, 1.0, 1.0);
    vec2 lowCorner = clamp(base, vec2(1.0), mapSize - 1.0) / mapSize;
    vec2 highCorner = clamp(base + 2.0, vec2(1.0), mapSize - 1.0) / mapSize;

    vec4 stored = textureGather(shadowMap, lowCorner, 0) * scaleD + offsetD;
    float visible = dot(vec4(lessThanEqual(stored, reference + g.x * lowX + g.y * lowY)), weightLowX * weightLowY);
    stored = textureGather(shadowMap, vec2(highCorner.x, lowCorner.y), 0) * scaleD + offsetD;
    visible += dot(vec4(lessThanEqual(stored, reference + g.x * highX + g.y * lowY)), weightHighX * weightLowY);
    stored = textureGather(shadowMap, vec2(lowCorner.x, highCorner.y), 0) * scaleD + offsetD;
    visible += dot(vec4(lessThanEqual(stored, reference + g.x * lowX + g.y * highY)), weightLowX * weightHighY);
    stored = textureGather(shadowMap, highCorner, 0) * scaleD + offsetD;
    visible += dot(vec4(lessThanEqual(stored, reference + g.x * highX + g.y * highY)), weightHighX * weightHighY);
    // The weights add up to 3 x 3.
    return onMap ? visible * (1.0 / 9.0) : 1.0;
}

void main()
{
    vec4 base = surfaceColor(texture(diffuseTexture, texCoord));
    vec3 n = shadingNormal(worldNormal);
    vec3 toViewer = toCamera * inversesqrt(max(dot(toCamera, toCamera), 1e-30));
    float visibility = shadowVisibility();

    vec3 color = shadeLights(makeSurface(base.rgb, n, toViewer), worldPosition, visibility, lightPosition);
#ifdef HAS_EMISSIVE
    color += emission();
#endif
#ifdef HAS_ALPHA_MASK
    // After every derivative and texture lookup above, which need the
    // fragment's neighbours.
    if (base.a < alphaCutoff)
        discard;
#endif
#ifdef HAS_ALPHA_BLEND
    fragColor = vec4(encodeSrgb(toneMap(color)), base.a);
#else
    fragColor = vec4(encodeSrgb(toneMap(color)), 1.0);
#endif
}
