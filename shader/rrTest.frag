#version 430 core
// Reflection/refraction capture, fragment stage: what the composite needs to
// know about the nearest transparent surface besides its shape.
//
// Output 0: the surface's own colour under the scene's lights, evaluated
//           per pixel by the lit pass's own code (lighting.glsl) without
//           its shadow, tone-mapped and sRGB-encoded like the lit image. The
//           composite shows it where the body is not fully transparent.
// Output 1: the body's material, each term stored in [0, 1] because the
//           target is RGB8 and clamps:
//             r = refraction * 127 / 255   (index ratio outside / inside, up
//                 to 2 in steps of 1 / 127, so that 1, which bends nothing,
//                 is stored exactly)
//             g = reflection       (strength of the mirror reflection)
//             b = transparency     (1 see-through, towards 0 its own colour)

#include "lighting.glsl"

in vec3 worldPosition;
in vec3 worldNormal;
in vec3 toCamera;

uniform float refraction;
uniform float reflection;
uniform float transparency;

layout(location = 0) out vec4 colorOut;
layout(location = 1) out vec4 materialOut;

void main()
{
    vec4 base = surfaceColor(texture(diffuseTexture, texCoord));
    vec3 n = shadingNormal(worldNormal);
    vec3 toViewer = toCamera * inversesqrt(max(dot(toCamera, toCamera), 1e-30));
    // No shadow: every light whole.
    vec3 color = shadeLights(makeSurface(base.rgb, n, toViewer), worldPosition, 1.0, vec3(0.0));
#ifdef HAS_EMISSIVE
    color += emission();
#endif
#ifdef HAS_ALPHA_MASK
    if (base.a < alphaCutoff)
        discard;
#endif
    colorOut = vec4(encodeSrgb(toneMap(color)), 1.0);
    materialOut = vec4(refraction * (127.0 / 255.0), reflection, transparency, 1.0);
}
