#version 430 core
// Lit scene, fragment stage: the mesh texture lit by every point and spot
// light of the scene plus the ambient light, with the first spot light's
// shadow, then tone-mapped for display.
//
// Lighting is done in linear light. Textures hold sRGB-encoded 8-bit colour
// (uploaded as plain RGBA), so each texel is decoded first; the lit result
// goes through a filmic tone curve, so bright lights roll off instead of
// clipping, and is encoded back to sRGB for the 8-bit target.
//
// On a CPU rasteriser every pixel of a SIMD block runs both sides of a
// branch, so the code below prefers selects to early exits and keeps the
// costly parts (shadow filter, powers) out of the per-light loops.

const int MAX_POINT_LIGHTS = 16;
const int MAX_SPOT_LIGHTS = 8;

struct PointLight {
    vec3 position;
    vec3 color;
};

struct SpotLight {
    vec3 position;
    vec3 direction;   // as written in the scene file, not normalised
    vec3 color;
    float innerRadius; // cosine of the inner cone angle: full light inside
    float outerRadius; // cosine of the outer cone angle: no light outside
};

in vec3 worldPosition;
in vec3 worldNormal;
in vec2 texCoord;
// lightSpaceMatrix * world position, from the vertex stage.
in vec4 lightClipPosition;
flat in vec3 cameraPosition;

uniform int numPointLights;
uniform PointLight pointLights[MAX_POINT_LIGHTS];
uniform int numSpotLights;
uniform SpotLight spotLights[MAX_SPOT_LIGHTS];
uniform vec3 ambientColor;
uniform float ambientStrength;

// The mesh's first texture, on unit 0 (the sampler's default; never set).
uniform sampler2D diffuseTexture;

// Shadow of the spot light at `lightPosition`: its depth map on unit 1
// (plain depth values, no compare mode, nearest filtering), and its
// projection; its view-projection "lightSpaceMatrix" is applied in the vertex
// stage. Before the first shadow pass the matrices are zero (a fresh program)
// or identity (a fresh shadow map); both leave everything lit.
uniform sampler2D shadowMap;
uniform mat4 lightSpaceProjMatrix;
uniform vec3 lightPosition;

layout(location = 0) out vec4 fragColor;

// Blinn-Phong highlight: kept modest, the scene has no specular maps.
const float SPECULAR_STRENGTH = 0.25;

// sRGB to linear: a linear toe, then ((c + 0.055) / 1.055)^2.4. The power is
// y^2 * y^0.4, with y^0.4 fitted from y^(1/2), y^(1/4) and y^(1/8) (square
// roots are far cheaper than pow) over the curve's range y >= 0.09; the fit
// is exact at 1 and within 0.05 of an 8-bit step of the exact curve.
vec3 decodeSrgb(vec3 c)
{
    vec3 y = (c + 0.055) / 1.055;
    vec3 s1 = sqrt(y);
    vec3 s2 = sqrt(s1);
    vec3 s3 = sqrt(s2);
    vec3 high = y * y * (0.489399301 * s1 + 0.746259447 * s2 - 0.235658748 * s3);
    return mix(high, c / 12.92, lessThanEqual(c, vec3(0.04045)));
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

// Distance falloff, 1 at the light and about 1/5 at 10 units; the linear
// term keeps nearby lights from blowing up the way a pure 1/d^2 would.
float attenuation(float d)
{
    return 1.0 / (1.0 + 0.09 * d + 0.032 * d * d);
}

// 1 inside the inner cone, 0 outside the outer cone, a smooth step between.
// `fromLight` is the unit vector from the light to the fragment.
float coneFactor(SpotLight light, vec3 fromLight)
{
    float length2 = dot(light.direction, light.direction);
    float cosAngle = dot(fromLight, light.direction) * inversesqrt(max(length2, 1e-30));
    // A larger cosine is a narrower angle; guard equal cones (a hard edge).
    float width = max(light.innerRadius - light.outerRadius, 1e-4);
    float cone = smoothstep(0.0, 1.0, (cosAngle - light.outerRadius) / width);
    return length2 > 0.0 ? cone : 0.0; // no direction: the spot lights nothing
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

// Where this fragment falls on the shadow map: texel coordinates in xy and
// distance along the light's view axis in z (the clip w, which is linear in
// world position); all zero where the map holds nothing about it (`onMap`
// false).
vec3 shadowTexel(vec2 mapSize, out bool onMap)
{
    vec4 lightClip = lightClipPosition;
    // w <= 0: behind the light, and everywhere for the all-zero matrix that
    // precedes the first shadow pass.
    bool inFront = lightClip.w > 1e-6;
    vec3 ndc = lightClip.xyz / (inFront ? lightClip.w : 1.0);
    vec2 mapCoord = ndc.xy * 0.5 + 0.5;
    // The map repeats outside [0, 1], and nothing was drawn beyond the
    // light's near and far planes: such points count as lit.
    bool outside = any(lessThan(mapCoord, vec2(0.0))) || any(greaterThan(mapCoord, vec2(1.0))) || abs(ndc.z) > 1.0;
    onMap = inFront && !outside;
    return onMap ? vec3(mapCoord * mapSize, lightClip.w) : vec3(0.0);
}

// The lit share of the four texels around `corner` (a texel corner on the
// map), each weighted, for the shadow filter below. The receiver is the
// fragment's distance extended along its plane to each texel's centre.
//
// A stored depth d is the distance p32 / (z + p22) with z = 2d - 1, and
// z + p22 < 0 over the whole depth range, so "receiver beyond occluder",
// r > p32 / (z + p22), is r * (z + p22) < p32: no division per texel.
float litShare(vec2 corner, vec4 weights, vec3 texel, vec2 depthSlope, float reach, float bias, vec2 mapSize)
{
    float p22 = lightSpaceProjMatrix[2][2];
    float p32 = lightSpaceProjMatrix[3][2];
    // Kept one texel inside the map, which would otherwise repeat.
    vec2 at = clamp(corner, vec2(1.0), mapSize - 1.0);
    // textureGather's order: (-,+), (+,+), (+,-), (-,-) texels about `at`.
    vec4 stored = textureGather(shadowMap, at / mapSize, 0);
    vec4 offsetX = at.x + vec4(-0.5, 0.5, 0.5, -0.5) - texel.x;
    vec4 offsetY = at.y + vec4(0.5, 0.5, -0.5, -0.5) - texel.y;
    vec4 receiver = texel.z + clamp(depthSlope.x * offsetX + depthSlope.y * offsetY, -reach, reach) - bias;
    vec4 lit = vec4(greaterThanEqual(receiver * (stored * 2.0 - 1.0 + p22), vec4(p32)));
    return dot(lit, weights);
}

// Share of the 3x3 texel neighbourhood (percentage-closer filtering) that
// the shadow-casting light reaches: 1 lit, 0 fully shadowed. The 3x3 box is
// taken between texel centres by bilinear weights, so the 4x4 texels around
// the fragment (four gathers) weigh (1 - f, 1, 1, f) / 3 on each axis.
//
// `depthSlope` is the change of the receiver's distance per texel step on the
// map (receiver-plane bias): each texel is compared with the receiver's
// plane extended to it, so a tilted surface does not shadow itself while its
// shadows still start where the occluder meets it.
float shadowVisibility(vec3 texel, bool onMap, vec2 mapSize, vec2 depthSlope, vec3 normal, vec3 toLight)
{
    // A perspective projection has P[3][2] = -2 * far * near / (far - near);
    // zero means no light projection has been handed over yet (identity).
    float p32 = lightSpaceProjMatrix[3][2];
    float p11 = lightSpaceProjMatrix[1][1];
    bool projectionKnown = abs(p32) >= 1e-12 && p11 > 0.0;

    float depth = texel.z;
    // One texel covers 2 * depth / (p11 * height) world units at this depth.
    float texelSize = 2.0 * depth / (p11 * mapSize.y);
    // A constant margin for the stored depth's rounding, plus a slope term for
    // where the plane estimate is missing (a surface seen edge-on).
    float cosTheta = clamp(dot(normal, toLight), 0.05, 1.0);
    float tanTheta = sqrt(1.0 - cosTheta * cosTheta) / cosTheta;
    bool planeKnown = all(lessThan(abs(depthSlope), vec2(1e6)));
    float bias = texelSize * (planeKnown ? 1.0 : 1.0 + 2.0 * min(tanTheta, 10.0));
    // The plane's step is capped where the derivatives straddle the edge of
    // the map, and ignored where they are unknown.
    vec2 slope = planeKnown ? depthSlope : vec2(0.0);
    float reach = 40.0 * texelSize;

    // Texel centres lie at half-integers: `base` is the centre below and left
    // of the fragment, `f` how far the fragment is past it.
    vec2 grid = texel.xy - 0.5;
    vec2 base = floor(grid);
    vec2 f = grid - base;
    // Per-axis weights of the columns base - 1 .. base + 2 (rows likewise).
    vec2 first = 1.0 - f;
    vec2 last = f;
    float visible = litShare(base, vec4(first.x, 1.0, 1.0, first.x) * vec4(1.0, 1.0, first.y, first.y),
                             texel, slope, reach, bias, mapSize)
                  + litShare(base + vec2(2.0, 0.0), vec4(1.0, last.x, last.x, 1.0) * vec4(1.0, 1.0, first.y, first.y),
                             texel, slope, reach, bias, mapSize)
                  + litShare(base + vec2(0.0, 2.0), vec4(first.x, 1.0, 1.0, first.x) * vec4(last.y, last.y, 1.0, 1.0),
                             texel, slope, reach, bias, mapSize)
                  + litShare(base + vec2(2.0, 2.0), vec4(1.0, last.x, last.x, 1.0) * vec4(last.y, last.y, 1.0, 1.0),
                             texel, slope, reach, bias, mapSize);
    return (onMap && projectionKnown) ? visible / 9.0 : 1.0;
}

// Lambert diffuse plus a Blinn-Phong highlight for one light of the given
// incoming radiance from direction `toLight` (unit); nothing from behind.
vec3 shade(vec3 albedo, vec3 normal, vec3 toCamera, vec3 toLight, vec3 radiance)
{
    float diffuse = max(dot(normal, toLight), 0.0);
    vec3 halfway = toLight + toCamera;
    float cosHalf = max(dot(normal, halfway), 0.0) * inversesqrt(max(dot(halfway, halfway), 1e-30));
    float specular = diffuse > 0.0 ? SPECULAR_STRENGTH * power48(cosHalf) : 0.0;
    return (albedo * diffuse + vec3(specular)) * radiance;
}

void main()
{
    vec3 albedo = decodeSrgb(texture(diffuseTexture, texCoord).rgb);
    vec3 toCamera = normalize(cameraPosition - worldPosition);

    // The face's own normal, from the screen-space change of position (taken
    // outside any branch, where derivatives are defined), turned to the camera.
    // A mesh imported without normals has zero ones: it is shaded flat.
    vec3 faceNormal = cross(dFdx(worldPosition), dFdy(worldPosition));
    faceNormal = dot(faceNormal, toCamera) < 0.0 ? -faceNormal : faceNormal;
    vec3 normal = normalize(dot(worldNormal, worldNormal) > 1e-12 ? worldNormal : faceNormal);

    // The receiver plane on the shadow map, from screen-space derivatives
    // (taken here, in uniform control flow). With texel offsets J = [dx dy]
    // per pixel and distance changes g_s per pixel, the distance change per
    // texel is inverse(J)^T g_s.
    vec2 mapSize = vec2(textureSize(shadowMap, 0));
    bool onMap;
    vec3 texel = shadowTexel(mapSize, onMap);
    mat2 texelPerPixel = mat2(dFdx(texel.xy), dFdy(texel.xy));
    vec2 depthPerPixel = vec2(dFdx(texel.z), dFdy(texel.z));
    float jacobian = determinant(texelPerPixel);
    vec2 depthSlope = abs(jacobian) > 1e-8 ? transpose(inverse(texelPerPixel)) * depthPerPixel : vec2(1e7);

    // The shadow once per fragment, for the light at "lightPosition".
    vec3 toCaster = normalize(lightPosition - worldPosition);
    float visibility = shadowVisibility(texel, onMap, mapSize, depthSlope, normal, toCaster);

    vec3 light = ambientStrength * ambientColor * albedo;

    for (int i = 0; i < min(numPointLights, MAX_POINT_LIGHTS); ++i) {
        vec3 offset = pointLights[i].position - worldPosition;
        float distance2 = dot(offset, offset);
        float inverseDistance = inversesqrt(max(distance2, 1e-30));
        vec3 toLight = distance2 > 0.0 ? offset * inverseDistance : normal;
        vec3 radiance = pointLights[i].color * attenuation(distance2 * inverseDistance);
        light += shade(albedo, normal, toCamera, toLight, radiance);
    }

    // Only the first spot light at the shadow caster's position is shadowed.
    bool shadowClaimed = false;
    for (int i = 0; i < min(numSpotLights, MAX_SPOT_LIGHTS); ++i) {
        bool castsShadow = !shadowClaimed && distance(spotLights[i].position, lightPosition) < 1e-4;
        shadowClaimed = shadowClaimed || castsShadow;

        vec3 offset = spotLights[i].position - worldPosition;
        float distance2 = dot(offset, offset);
        float inverseDistance = inversesqrt(max(distance2, 1e-30));
        vec3 toLight = distance2 > 0.0 ? offset * inverseDistance : normal;
        // Outside the cone the radiance is zero, and so is the light added.
        float cone = coneFactor(spotLights[i], -toLight);
        vec3 radiance = spotLights[i].color * attenuation(distance2 * inverseDistance) * cone;
        radiance *= castsShadow ? visibility : 1.0;
        light += shade(albedo, normal, toCamera, toLight, radiance);
    }

    fragColor = vec4(encodeSrgb(toneMap(light)), 1.0);
}
