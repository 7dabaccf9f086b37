#version 430 core
// Reflection/refraction capture, fragment stage: what the composite needs to
// know about the nearest transparent surface besides its shape.
//
// Output 0: the surface's own colour under the light the vertex stage
//           gathered, tone-mapped and sRGB-encoded like the lit image. The
//           composite shows it where the body is not fully transparent.
// Output 1: the body's material, each term stored in [0, 1] because the
//           target is RGB8 and clamps:
//             r = refraction * 127 / 255   (index ratio outside / inside, up
//                 to 2 in steps of 1 / 127, so that 1, which bends nothing,
//                 is stored exactly)
//             g = reflection       (strength of the mirror reflection)
//             b = transparency     (1 see-through, towards 0 its own colour)

in vec2 texCoord;
in vec3 diffuseLight;
in vec3 specularLight;

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
    colorOut = vec4(encodeSrgb(toneMap(albedo * diffuseLight + specularLight)), 1.0);
    materialOut = vec4(refraction * (127.0 / 255.0), reflection, transparency, 1.0);
}
