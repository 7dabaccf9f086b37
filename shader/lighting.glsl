// The scene's lights and how a surface answers them, shared by the lit pass
// and the reflection/refraction capture so that both shade alike. Included
// by their fragment stages; the material's features come as defines
// (HAS_METAL_ROUGHNESS, HAS_CLASSIC_SPECULAR, HAS_EMISSIVE and those of
// material.glsl), and a material without them compiles to the plain
// Lambert and Blinn-Phong shading with the default highlight.
//
// Lighting is done in linear light; the result goes through a filmic tone
// curve, so bright lights roll off instead of clipping, before it is
// encoded to sRGB for the 8-bit target.
//
// On a CPU rasteriser every pixel of a SIMD block runs both sides of a
// branch, and each instruction here runs for every covered pixel of the
// screen: the code below keeps to selects, loops over the light counts and
// cheap arithmetic.

#include "material.glsl"

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

#if defined(HAS_METAL_ROUGHNESS)
// Metallic-roughness factors; the texture on unit 15 scales roughness by its
// green channel and metallic by its blue one (linear values).
uniform float metallic;
uniform float roughness;
uniform sampler2D metalRoughnessTexture;
const float PI = 3.14159265;
#elif defined(HAS_CLASSIC_SPECULAR)
// The material's own Blinn-Phong highlight: colour (linear) and exponent.
uniform vec3 specularColor;
uniform float shininess;
#else
// The default Blinn-Phong highlight: specular colour 0.25 grey, exponent 48.
const float SPECULAR_STRENGTH = 0.25;
#endif

#ifdef HAS_EMISSIVE
// Emitted light (linear): the factor times the sRGB-encoded texture on
// unit 14, added to the lit colour before tone mapping.
uniform vec3 emissiveFactor;
uniform sampler2D emissiveTexture;
#endif

// One surface point as the lights see it.
struct Surface {
    vec3 normal;       // unit, or zero (lit by ambient light only)
    vec3 toViewer;     // unit
    vec3 diffuseColor; // Lambert albedo, linear
#ifdef HAS_METAL_ROUGHNESS
    vec3 f0;           // reflectance at normal incidence
    float alpha;       // GGX width: roughness^2
#endif
};

// The surface of a base colour (linear) with unit normal `n`.
Surface makeSurface(vec3 baseColor, vec3 n, vec3 toViewer)
{
    Surface s;
    s.normal = n;
    s.toViewer = toViewer;
#ifdef HAS_METAL_ROUGHNESS
    vec4 texel = texture(metalRoughnessTexture, texCoord);
    float metal = clamp(metallic * texel.b, 0.0, 1.0);
    // Roughness 0 would make the GGX lobe infinitely narrow.
    float rough = clamp(roughness * texel.g, 0.045, 1.0);
    // A metal reflects its colour and scatters nothing; a dielectric
    // scatters its colour and reflects about 4 % of white.
    s.diffuseColor = baseColor * (1.0 - metal);
    s.f0 = mix(vec3(0.04), baseColor, metal);
    s.alpha = rough * rough;
#else
    s.diffuseColor = baseColor;
#endif
    return s;
}

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

#if !defined(HAS_METAL_ROUGHNESS) && !defined(HAS_CLASSIC_SPECULAR)
// x^48 by repeated squaring: x^32 * x^16.
float power48(float x)
{
    float x2 = x * x;
    float x4 = x2 * x2;
    float x8 = x4 * x4;
    float x16 = x8 * x8;
    return x16 * x16 * x16;
}
#endif

// The highlight one light adds, per unit of its radiance. `toLight` is a
// unit vector, `cosLight` its cosine with the normal clamped at 0: no model
// puts a highlight where the light is behind the surface.
vec3 highlight(Surface s, vec3 toLight, float cosLight)
{
    vec3 halfway = toLight + s.toViewer;
    float inverseHalfway = inversesqrt(max(dot(halfway, halfway), 1e-30));
    float cosHalf = max(dot(s.normal, halfway), 0.0) * inverseHalfway;
#if defined(HAS_METAL_ROUGHNESS)
    // Cook-Torrance: GGX distribution D, height-correlated Smith visibility
    // V (which holds the 1 / (4 cosLight cosView) of the BRDF) and Schlick's
    // Fresnel F. The Lambert term here is albedo * cosLight, without the
    // BRDF's 1 / pi, so the specular BRDF is scaled by pi to match:
    // pi * D * V * F * cosLight.
    float a2 = s.alpha * s.alpha;
    float cosView = max(dot(s.normal, s.toViewer), 1e-4);
    float cosL = max(cosLight, 1e-4);
    float d = cosHalf * cosHalf * (a2 - 1.0) + 1.0;
    float distribution = a2 / (PI * d * d);
    float visibility = 0.5 / (cosL * sqrt(cosView * cosView * (1.0 - a2) + a2) +
                              cosView * sqrt(cosL * cosL * (1.0 - a2) + a2));
    float cosViewHalf = clamp(dot(s.toViewer, halfway) * inverseHalfway, 0.0, 1.0);
    float grazing = 1.0 - cosViewHalf;
    float grazing2 = grazing * grazing;
    vec3 fresnel = s.f0 + (1.0 - s.f0) * (grazing2 * grazing2 * grazing);
    return cosLight > 0.0 ? (PI * distribution * visibility * cosLight) * fresnel : vec3(0.0);
#elif defined(HAS_CLASSIC_SPECULAR)
    return cosLight > 0.0 ? specularColor * pow(cosHalf, max(shininess, 1e-4)) : vec3(0.0);
#else
    return vec3(cosLight > 0.0 ? SPECULAR_STRENGTH * power48(cosHalf) : 0.0);
#endif
}

// Adds one light's Lambert and highlight terms to `diffuse` and `specular`.
// `offset` runs from the surface to the light; `radiance` is the light's
// colour before the distance falloff (already scaled by a spot light's
// cone); `reachFactor` is inverseReach2 of the light's own colour.
void addLight(Surface s, vec3 offset, vec3 radiance, float reachFactor, inout vec3 diffuse, inout vec3 specular)
{
    // One inverse square root gives both the direction and the distance. A
    // light exactly on the surface has no direction and lights nothing.
    float distance2 = dot(offset, offset);
    float inverseDistance = inversesqrt(max(distance2, 1e-30));
    vec3 toLight = offset * inverseDistance;
    float window = clamp(1.0 - distance2 * reachFactor, 0.0, 1.0);
    radiance *= window * window / (1.0 + 0.09 * (distance2 * inverseDistance) + 0.032 * distance2);
    float cosLight = max(dot(s.normal, toLight), 0.0);
    diffuse += cosLight * radiance;
    specular += highlight(s, toLight, cosLight) * radiance;
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

// The surface at `position` under the ambient light and every light of the
// scene, in linear light before tone mapping. The first spot light at
// `shadowCaster` is dimmed by `visibility` (1 leaves every light whole).
vec3 shadeLights(Surface s, vec3 position, float visibility, vec3 shadowCaster)
{
    vec3 diffuse = ambientStrength * ambientColor;
    vec3 specular = vec3(0.0);
#ifdef HAS_METAL_ROUGHNESS
    // Light arriving evenly from every side is mirrored about as strongly as
    // the reflectance at normal incidence: a metal under ambient light shows
    // its own colour, not black.
    specular = diffuse * s.f0;
#endif
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
        addLight(s, pointLights[i].position - position, pointLights[i].color * present,
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
        vec3 offset = spotLights[i].position - position;
        bool castsShadow = present > 0.0 && !shadowClaimed && distance(spotLights[i].position, shadowCaster) < 1e-4;
        shadowClaimed = shadowClaimed || castsShadow;
        float share = present * coneFactor(spotLights[i], offset) * (castsShadow ? visibility : 1.0);
        addLight(s, offset, spotLights[i].color * share, inverseReach2(spotLights[i].color), diffuse, specular);
    }
    return s.diffuseColor * diffuse + specular;
}

#ifdef HAS_EMISSIVE
// The light the surface emits itself.
vec3 emission()
{
    return emissiveFactor * decodeSrgb(texture(emissiveTexture, texCoord).rgb);
}
#endif

// The unit normal a fragment is lit with: the interpolated normal
// renormalised, bent by the normal map, and on the back face of a
// two-sided material turned round (the mapped normal with it).
vec3 shadingNormal(vec3 interpolated)
{
    vec3 n = interpolated * inversesqrt(max(dot(interpolated, interpolated), 1e-30));
#ifdef HAS_NORMAL_MAP
    n = mappedNormal(n);
#endif
#ifdef HAS_TWO_SIDED
    n = gl_FrontFacing ? n : -n;
#endif
    return n;
}

// Narkowicz's fit of the ACES filmic curve: near-linear in the mid tones,
// approaching 1 smoothly for values far above 1.
vec3 toneMap(vec3 c)
{
    return clamp((c * (2.51 * c + 0.03)) / (c * (2.43 * c + 0.59) + 0.14), 0.0, 1.0);
}
