#version 430 core
// Lit scene, fragment stage: every light, the ambient term and the first
// spot light's shadow, evaluated for each pixel from the interpolated
// (renormalised) normal, on the mesh texture; then tone-mapped for display.
//
// Lighting is done in linear light. Textures hold sRGB-encoded 8-bit colour
// (uploaded as plain RGBA), so each texel is decoded first; the lit result
// goes through a filmic tone curve, so bright lights roll off instead of
// clipping, and is encoded back to sRGB for the 8-bit target.
//
// On a CPU rasteriser every pixel of a SIMD block runs both sides of a
// branch, and each instruction here runs for every covered pixel of the
// screen: the code below keeps to selects, loops over the light counts and
// cheap arithmetic.

in vec2 texCoord;
in vec3 worldPosition;
in vec3 worldNormal;
in vec3 toCamera;
in vec4 lightClipPosition;

const int MAX_POINT_LIGHTS = 16;
const int MAX_SPOT_LIGHTS = 8;

struct PointLight {
    vec3 position;
    vec3 color;
};

struct SpotLight {
    vec3 position;
    vec3 direction;    // as written in the scene file, not normalised
    vec3 color;
    float innerRadius; // cosine of the inner cone angle: full light inside
    float outerRadius; // cosine of the outer cone angle: no light outside
};

uniform int numPointLights;
uniform PointLight pointLights[MAX_POINT_LIGHTS];
uniform int numSpotLights;
uniform SpotLight spotLights[MAX_SPOT_LIGHTS];
uniform vec3 ambientColor;
uniform float ambientStrength;

// Blinn-Phong highlight: kept modest, the scene has no specular maps.
const float SPECULAR_STRENGTH = 0.25;

// Distance falloff of a light whose brightest channel is `peak`:
//
//     falloff(d) = window(d)^2 / (1 + 0.09 d + 0.032 d^2),
//     window(d)  = max(1 - d^2 / reach^2, 0),  reach^2 = 2000 peak.
//
// The rational part is 1 at the light and about 1/5 at 10 units; its linear
// term keeps nearby lights from blowing up the way a pure 1/d^2 would. The
// window brings it smoothly to exactly zero at `reach`, where the rational
// part alone would still give about 1/64 (for a light of colour 1, reach is
// 44.7 units and the window dims it by 10 % at 10 units, 5 % at 5), so a
// light adds nothing at all beyond its reach. `inverseReach2` is
// 1 / reach^2.
float inverseReach2(vec3 color)
{
    return 0.0005 / max(max(color.r, max(color.g, color.b)), 1e-6);
}

// x^48 by repeated squaring: x^32 * x^16.
float power48(float x)
{
    float x2 = x * x;
    float x4 = x2 * x2;
    float x8 = x4 * x4;
    float x16 = x8 * x8;
    return x16 * x16 * x16;
}

// Adds one light's Lambert and Blinn-Phong terms to `diffuse` and
// `specular`. `n` and `toViewer` are unit vectors (`n` may be zero);
// `offset` runs from the surface to the light; `radiance` is the light's
// colour before the distance falloff (already scaled by a spot light's cone);
// `reachFactor` is inverseReach2 of the light's own colour.
void addLight(vec3 n, vec3 toViewer, vec3 offset, vec3 radiance, float reachFactor, inout vec3 diffuse,
              inout vec3 specular)
{
    // One inverse square root gives both the direction and the distance. A
    // light exactly on the surface has no direction and lights nothing.
    float distance2 = dot(offset, offset);
    float inverseDistance = inversesqrt(max(distance2, 1e-30));
    vec3 toLight = offset * inverseDistance;
    float window = clamp(1.0 - distance2 * reachFactor, 0.0, 1.0);
    radiance *= window * window / (1.0 + 0.09 * (distance2 * inverseDistance) + 0.032 * distance2);
    float cosLight = max(dot(n, toLight), 0.0);
    vec3 halfway = toLight + toViewer;
    float cosHalf = max(dot(n, halfway), 0.0) * inversesqrt(max(dot(halfway, halfway), 1e-30));
    // No highlight on a face turned away from the light.
    float highlight = cosLight > 0.0 ? SPECULAR_STRENGTH * power48(cosHalf) : 0.0;
    diffuse += cosLight * radiance;
    specular += highlight * radiance;
}

// 1 inside the inner cone, 0 outside the outer cone, a smooth step between.
// `offset` runs from the surface to the light.
float coneFactor(SpotLight light, vec3 offset)
{
    // No direction, or the surface at the light: the spot lights nothing.
    float lengths2 = dot(light.direction, light.direction) * dot(offset, offset);
    float cosAngle = -dot(offset, light.direction) * inversesqrt(max(lengths2, 1e-30));
    // A larger cosine is a narrower angle; guard equal cones (a hard edge).
    float width = max(light.innerRadius - light.outerRadius, 1e-4);
    float factor = smoothstep(0.0, 1.0, (cosAngle - light.outerRadius) / width);
    return lengths2 > 0.0 ? factor : 0.0;
}

// The mesh's first texture, on unit 0 (the sampler's default; never set).
uniform sampler2D diffuseTexture;

// The shadow-casting light: its depth map on unit 1 (plain depth values, no
// compare mode, nearest filtering, repeating), its projection and its
// position (zero before the first shadow pass, when no spot light matches).
// Before the first shadow pass the matrices are zero (a fresh program) or
// identity (a fresh shadow map); both leave everything lit.
uniform sampler2D shadowMap;
uniform mat4 lightSpaceProjMatrix;
uniform vec3 lightPosition;

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
    vec3 albedo = decodeSrgb(texture(diffuseTexture, texCoord).rgb);
    vec3 n = worldNormal * inversesqrt(max(dot(worldNormal, worldNormal), 1e-30));
    vec3 toViewer = toCamera * inversesqrt(max(dot(toCamera, toCamera), 1e-30));
    float visibility = shadowVisibility();

    vec3 diffuse = ambientStrength * ambientColor;
    vec3 specular = vec3(0.0);
    // Built for the scene's light counts (POINT_LIGHT_COUNT and
    // SPOT_LIGHT_COUNT, at most the arrays' sizes), the loops run a fixed
    // number of times and the compiler unrolls them: every light is then
    // read at a constant index, which a CPU rasteriser fetches once for the
    // whole SIMD block instead of once per pixel. Lights past the counts
    // sent at draw time add nothing. Built without them, the loops run over
    // the counts sent at draw time.
#ifdef POINT_LIGHT_COUNT
    for (int i = 0; i < POINT_LIGHT_COUNT; ++i) {
        float present = i < numPointLights ? 1.0 : 0.0;
#else
    for (int i = 0; i < min(numPointLights, MAX_POINT_LIGHTS); ++i) {
        float present = 1.0;
#endif
        addLight(n, toViewer, pointLights[i].position - worldPosition, pointLights[i].color * present,
                 inverseReach2(pointLights[i].color), diffuse, specular);
    }

    // Only the first spot light at the shadow caster's position is shadowed.
    bool shadowClaimed = false;
#ifdef SPOT_LIGHT_COUNT
    for (int i = 0; i < SPOT_LIGHT_COUNT; ++i) {
        float present = i < numSpotLights ? 1.0 : 0.0;
#else
    for (int i = 0; i < min(numSpotLights, MAX_SPOT_LIGHTS); ++i) {
        float present = 1.0;
#endif
        vec3 offset = spotLights[i].position - worldPosition;
        bool castsShadow = present > 0.0 && !shadowClaimed && distance(spotLights[i].position, lightPosition) < 1e-4;
        shadowClaimed = shadowClaimed || castsShadow;
        float share = present * coneFactor(spotLights[i], offset) * (castsShadow ? visibility : 1.0);
        addLight(n, toViewer, offset, spotLights[i].color * share, inverseReach2(spotLights[i].color), diffuse,
                 specular);
    }

    fragColor = vec4(encodeSrgb(toneMap(albedo * diffuse + specular)), 1.0);
}
