#version 430 core
// Lit scene, fragment stage: the mesh texture lit by every point and spot
// light of the scene plus the ambient light, with the first spot light's
// shadow, then tone-mapped for display.
//
// Lighting is done in linear light. Textures hold sRGB-encoded 8-bit colour
// (uploaded as plain RGBA), so each texel is decoded first; the lit result
// goes through a filmic tone curve, so bright lights roll off instead of
// clipping, and is encoded back to sRGB for the 8-bit target.

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
// (plain depth values, no compare mode), its view-projection and projection.
// Before the first shadow pass the matrices are zero (a fresh program) or
// identity (a fresh shadow map); both leave everything lit.
uniform sampler2D shadowMap;
uniform mat4 lightSpaceMatrix;
uniform mat4 lightSpaceProjMatrix;
uniform vec3 lightPosition;

layout(location = 0) out vec4 fragColor;

// Blinn-Phong highlight: kept modest, the scene has no specular maps.
const float SPECULAR_STRENGTH = 0.25;
const float SHININESS = 48.0;

vec3 decodeSrgb(vec3 c)
{
    // The exact sRGB curve: a linear toe, then a 2.4 power.
    vec3 low = c / 12.92;
    vec3 high = pow((c + 0.055) / 1.055, vec3(2.4));
    return mix(high, low, lessThanEqual(c, vec3(0.04045)));
}

vec3 encodeSrgb(vec3 c)
{
    vec3 low = c * 12.92;
    vec3 high = 1.055 * pow(c, vec3(1.0 / 2.4)) - 0.055;
    return mix(high, low, lessThanEqual(c, vec3(0.0031308)));
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
    if (length2 <= 0.0)
        return 0.0; // no direction: the spot lights nothing
    float cosAngle = dot(fromLight, light.direction * inversesqrt(length2));
    // A larger cosine is a narrower angle; guard equal cones (a hard edge).
    float width = max(light.innerRadius - light.outerRadius, 1e-4);
    return smoothstep(0.0, 1.0, (cosAngle - light.outerRadius) / width);
}

// Where this fragment falls on the shadow map: texel coordinates in xy and
// distance along the light's view axis in z (the clip w, which is linear in
// world position). `valid` is false where the map holds nothing about it.
struct ShadowCoord {
    vec3 texel;
    bool valid;
};

ShadowCoord shadowCoord()
{
    ShadowCoord coord;
    coord.valid = false;
    coord.texel = vec3(0.0);
    vec4 lightClip = lightSpaceMatrix * vec4(worldPosition, 1.0);
    // w <= 0: behind the light, and everywhere for the all-zero matrix that
    // precedes the first shadow pass.
    if (lightClip.w <= 1e-6)
        return coord;
    vec3 ndc = lightClip.xyz / lightClip.w;
    vec2 mapCoord = ndc.xy * 0.5 + 0.5;
    // The map repeats outside [0, 1], and nothing was drawn beyond the
    // light's near and far planes: such points count as lit.
    if (any(lessThan(mapCoord, vec2(0.0))) || any(greaterThan(mapCoord, vec2(1.0))) || abs(ndc.z) > 1.0)
        return coord;
    coord.texel = vec3(mapCoord * vec2(textureSize(shadowMap, 0)), lightClip.w);
    coord.valid = true;
    return coord;
}

// Share of the 3x3 texel neighbourhood (percentage-closer filtering) that
// the shadow-casting light reaches: 1 lit, 0 fully shadowed.
//
// `depthSlope` is the change of the receiver's distance per texel step on the
// map (receiver-plane bias): each neighbour is compared with the receiver's
// plane extended to that texel, so a tilted surface does not shadow itself
// while its shadows still start where the occluder meets it.
float shadowVisibility(ShadowCoord coord, vec2 depthSlope, vec3 normal, vec3 toLight)
{
    if (!coord.valid)
        return 1.0;
    // A perspective projection has P[3][2] = -2 * far * near / (far - near);
    // zero means no light projection has been handed over yet (identity).
    float p22 = lightSpaceProjMatrix[2][2];
    float p32 = lightSpaceProjMatrix[3][2];
    float p11 = lightSpaceProjMatrix[1][1];
    if (abs(p32) < 1e-12 || p11 <= 0.0)
        return 1.0;

    ivec2 size = textureSize(shadowMap, 0);
    float depth = coord.texel.z;
    // One texel covers 2 * depth / (p11 * height) world units at this depth.
    float texelSize = 2.0 * depth / (p11 * float(size.y));
    // A constant margin for the stored depth's rounding, plus a slope term for
    // where the plane estimate is missing (a surface seen edge-on).
    float cosTheta = clamp(dot(normal, toLight), 0.05, 1.0);
    float tanTheta = sqrt(1.0 - cosTheta * cosTheta) / cosTheta;
    bool planeKnown = all(lessThan(abs(depthSlope), vec2(1e6)));
    float bias = texelSize * (planeKnown ? 1.0 : 1.0 + 2.0 * min(tanTheta, 10.0));

    ivec2 centre = ivec2(floor(coord.texel.xy));
    float visible = 0.0;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            ivec2 texel = clamp(centre + ivec2(dx, dy), ivec2(0), size - 1);
            // Stored depth d back to distance: p32 / (z_ndc + p22), z_ndc = 2d - 1.
            float stored = texelFetch(shadowMap, texel, 0).r;
            float occluder = p32 / ((stored * 2.0 - 1.0) + p22);
            // The receiver's plane at that texel's centre. The step is capped
            // where the derivatives straddle the edge of the map.
            vec2 offset = vec2(texel) + 0.5 - coord.texel.xy;
            float reach = 40.0 * texelSize;
            float receiver = depth + (planeKnown ? clamp(dot(depthSlope, offset), -reach, reach) : 0.0);
            visible += (receiver - bias > occluder) ? 0.0 : 1.0;
        }
    }
    return visible / 9.0;
}

// Lambert diffuse plus a Blinn-Phong highlight for one light of the given
// incoming radiance from direction `toLight` (unit).
vec3 shade(vec3 albedo, vec3 normal, vec3 toCamera, vec3 toLight, vec3 radiance)
{
    float diffuse = max(dot(normal, toLight), 0.0);
    if (diffuse <= 0.0)
        return vec3(0.0);
    vec3 halfway = normalize(toLight + toCamera);
    float specular = SPECULAR_STRENGTH * pow(max(dot(normal, halfway), 0.0), SHININESS);
    return (albedo * diffuse + vec3(specular)) * radiance;
}

void main()
{
    vec3 albedo = decodeSrgb(texture(diffuseTexture, texCoord).rgb);
    vec3 toCamera = normalize(cameraPosition - worldPosition);

    // The face's own normal, from the screen-space change of position (taken
    // outside any branch, where derivatives are defined), turned to the camera.
    vec3 faceNormal = normalize(cross(dFdx(worldPosition), dFdy(worldPosition)));
    if (dot(faceNormal, toCamera) < 0.0)
        faceNormal = -faceNormal;
    // A mesh imported without normals has zero ones: it is shaded flat.
    vec3 normal = dot(worldNormal, worldNormal) > 1e-12 ? normalize(worldNormal) : faceNormal;

    // The receiver plane on the shadow map, from screen-space derivatives
    // (taken here, in uniform control flow). With texel offsets J = [dx dy]
    // per pixel and distance changes g_s per pixel, the distance change per
    // texel is inverse(J)^T g_s.
    ShadowCoord coord = shadowCoord();
    mat2 texelPerPixel = mat2(dFdx(coord.texel.xy), dFdy(coord.texel.xy));
    vec2 depthPerPixel = vec2(dFdx(coord.texel.z), dFdy(coord.texel.z));
    float jacobian = determinant(texelPerPixel);
    vec2 depthSlope = abs(jacobian) > 1e-8 ? transpose(inverse(texelPerPixel)) * depthPerPixel : vec2(1e7);

    vec3 light = ambientStrength * ambientColor * albedo;

    for (int i = 0; i < min(numPointLights, MAX_POINT_LIGHTS); ++i) {
        vec3 offset = pointLights[i].position - worldPosition;
        float lightDistance = length(offset);
        vec3 toLight = lightDistance > 0.0 ? offset / lightDistance : normal;
        vec3 radiance = pointLights[i].color * attenuation(lightDistance);
        light += shade(albedo, normal, toCamera, toLight, radiance);
    }

    // Only the first spot light at the shadow caster's position is shadowed.
    bool shadowClaimed = false;
    for (int i = 0; i < min(numSpotLights, MAX_SPOT_LIGHTS); ++i) {
        bool castsShadow = !shadowClaimed && distance(spotLights[i].position, lightPosition) < 1e-4;
        shadowClaimed = shadowClaimed || castsShadow;

        vec3 offset = spotLights[i].position - worldPosition;
        float lightDistance = length(offset);
        vec3 toLight = lightDistance > 0.0 ? offset / lightDistance : normal;
        float cone = coneFactor(spotLights[i], -toLight);
        if (cone <= 0.0 || dot(normal, toLight) <= 0.0)
            continue;
        vec3 radiance = spotLights[i].color * attenuation(lightDistance) * cone;
        if (castsShadow)
            radiance *= shadowVisibility(coord, depthSlope, normal, toLight);
        light += shade(albedo, normal, toCamera, toLight, radiance);
    }

    fragColor = vec4(encodeSrgb(toneMap(light)), 1.0);
}
