#version 430 core
// Reflection/refraction capture, fragment stage: what the composite needs to
// know about the nearest transparent surface besides its shape.
//
// Output 0: the surface's own colour under the scene's lights, evaluated
//           per pixel as in the lit pass (without its shadow), tone-mapped
//           and sRGB-encoded like the lit image. The
//           composite shows it where the body is not fully transparent.
// Output 1: the body's material, each term stored in [0, 1] because the
//           target is RGB8 and clamps:
//             r = refraction * 127 / 255   (index ratio outside / inside, up
//                 to 2 in steps of 1 / 127, so that 1, which bends nothing,
//                 is stored exactly)
//             g = reflection       (strength of the mirror reflection)
//             b = transparency     (1 see-through, towards 0 its own colour)

in vec2 texCoord;
in vec3 worldPosition;
in vec3 worldNormal;
in vec3 toCamera;

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

uniform float refraction;
uniform float reflection;
uniform float transparency;

// The mesh's first texture, on unit 0 (the sampler's default; never set).
uniform sampler2D diffuseTexture;

layout(location = 0) out vec4 colorOut;
layout(location = 1) out vec4 materialOut;

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

void main()
{
    vec3 albedo = decodeSrgb(texture(diffuseTexture, texCoord).rgb);
    vec3 n = worldNormal * inversesqrt(max(dot(worldNormal, worldNormal), 1e-30));
    vec3 toViewer = toCamera * inversesqrt(max(dot(toCamera, toCamera), 1e-30));
    vec3 diffuse = ambientStrength * ambientColor;
    vec3 specular = vec3(0.0);
    for (int i = 0; i < min(numPointLights, MAX_POINT_LIGHTS); ++i)
        addLight(n, toViewer, pointLights[i].position - worldPosition, pointLights[i].color,
                 inverseReach2(pointLights[i].color), diffuse, specular);
    for (int i = 0; i < min(numSpotLights, MAX_SPOT_LIGHTS); ++i) {
        vec3 offset = spotLights[i].position - worldPosition;
        addLight(n, toViewer, offset, spotLights[i].color * coneFactor(spotLights[i], offset),
                 inverseReach2(spotLights[i].color), diffuse, specular);
    }
    colorOut = vec4(encodeSrgb(toneMap(albedo * diffuse + specular)), 1.0);
    materialOut = vec4(refraction * (127.0 / 255.0), reflection, transparency, 1.0);
}
