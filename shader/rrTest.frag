#version 430 core
// Reflection/refraction capture, fragment stage: what the composite needs to
// know about the nearest transparent surface besides its shape.
//
// Output 0: the surface's own colour, lit by the scene's point, spot and
//           ambient lights the way the lit pass lights opaque surfaces
//           (without the shadow, which only the lit pass and the composite
//           receive), tone-mapped and sRGB-encoded like the lit image. The
//           composite shows it where the body is not fully transparent.
// Output 1: the body's material, each term stored in [0, 1] because the
//           target is RGB8 and clamps:
//             r = refraction * 127 / 255   (index ratio outside / inside, up
//                 to 2 in steps of 1 / 127, so that 1, which bends nothing,
//                 is stored exactly)
//             g = reflection       (strength of the mirror reflection)
//             b = transparency     (1 see-through, towards 0 its own colour)

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
    float innerRadius; // cosine of the inner cone angle
    float outerRadius; // cosine of the outer cone angle
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

uniform float refraction;
uniform float reflection;
uniform float transparency;

// The mesh's first texture, on unit 0 (the sampler's default; never set).
uniform sampler2D diffuseTexture;

layout(location = 0) out vec4 colorOut;
layout(location = 1) out vec4 materialOut;

// The lit pass's shading constants and curves, so that a body that is
// hardly transparent looks like an opaque one.
const float SPECULAR_STRENGTH = 0.25;
const float SHININESS = 48.0;

vec3 decodeSrgb(vec3 c)
{
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

// Filmic tone curve (Narkowicz's ACES fit).
vec3 toneMap(vec3 c)
{
    return clamp((c * (2.51 * c + 0.03)) / (c * (2.43 * c + 0.59) + 0.14), 0.0, 1.0);
}

float attenuation(float d)
{
    return 1.0 / (1.0 + 0.09 * d + 0.032 * d * d);
}

// 1 inside the inner cone, 0 outside the outer cone, a smooth step between.
float coneFactor(SpotLight light, vec3 fromLight)
{
    float length2 = dot(light.direction, light.direction);
    if (length2 <= 0.0)
        return 0.0;
    float cosAngle = dot(fromLight, light.direction * inversesqrt(length2));
    float width = max(light.innerRadius - light.outerRadius, 1e-4);
    return smoothstep(0.0, 1.0, (cosAngle - light.outerRadius) / width);
}

// Lambert diffuse plus a Blinn-Phong highlight.
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

    vec3 faceNormal = normalize(cross(dFdx(worldPosition), dFdy(worldPosition)));
    if (dot(faceNormal, toCamera) < 0.0)
        faceNormal = -faceNormal;
    vec3 normal = dot(worldNormal, worldNormal) > 1e-12 ? normalize(worldNormal) : faceNormal;

    vec3 light = ambientStrength * ambientColor * albedo;
    for (int i = 0; i < min(numPointLights, MAX_POINT_LIGHTS); ++i) {
        vec3 offset = pointLights[i].position - worldPosition;
        float lightDistance = length(offset);
        vec3 toLight = lightDistance > 0.0 ? offset / lightDistance : normal;
        light += shade(albedo, normal, toCamera, toLight, pointLights[i].color * attenuation(lightDistance));
    }
    for (int i = 0; i < min(numSpotLights, MAX_SPOT_LIGHTS); ++i) {
        vec3 offset = spotLights[i].position - worldPosition;
        float lightDistance = length(offset);
        vec3 toLight = lightDistance > 0.0 ? offset / lightDistance : normal;
        float cone = coneFactor(spotLights[i], -toLight);
        if (cone <= 0.0)
            continue;
        light += shade(albedo, normal, toCamera, toLight, spotLights[i].color * attenuation(lightDistance) * cone);
    }

    colorOut = vec4(encodeSrgb(toneMap(light)), 1.0);
    materialOut = vec4(refraction * (127.0 / 255.0), reflection, transparency, 1.0);
}
