#version 430 core
// Refraction captures, fragment stage. The same program draws the front
// faces (front capture) and the back faces (back capture, GL_FRONT culled).
//
// Output 0: the outward surface normal in view space, remapped from [-1, 1]
//           to [0, 1] (n * 0.5 + 0.5) because the target is RGB8 and clamps.
//           It is not turned towards the camera, so on back faces it points
//           away from the viewer.
//           With a normal map, the mapped normal.
// Output 1: the surface colour, the material's colour texture on unit 0 in
//           its stored sRGB encoding: decoding to linear and encoding back
//           for the 8-bit target, as the lit pass does, would return the
//           texel unchanged. With a colour factor or vertex colours, their
//           product with the decoded texel, encoded.
// A masked material's cut-out fragments are discarded.

#include "material.glsl"

in vec3 viewPosition;
in vec3 viewNormal;

layout(location = 0) out vec4 normalOut;
layout(location = 1) out vec4 colorOut;

void main()
{
    // The face's own normal from the screen-space change of position (taken
    // outside any branch, where derivatives are defined). With the eye at the
    // origin it faces the viewer; on a back face the outward side is the
    // other one.
    vec3 faceNormal = normalize(cross(dFdx(viewPosition), dFdy(viewPosition)));
    if (!gl_FrontFacing)
        faceNormal = -faceNormal;
    // A zero normal (a degenerate file) is taken as flat.
    vec3 n = dot(viewNormal, viewNormal) > 1e-12 ? normalize(viewNormal) : faceNormal;
#ifdef HAS_NORMAL_MAP
    n = mappedNormal(n);
#endif

    vec4 texel = texture(diffuseTexture, texCoord);
#if defined(HAS_COLOR_FACTOR) || defined(HAS_VERTEX_COLORS) || defined(HAS_ALPHA_MASK)
    vec4 base = surfaceColor(texel);
#endif
#ifdef HAS_ALPHA_MASK
    if (base.a < alphaCutoff)
        discard;
#endif
    normalOut = vec4(n * 0.5 + 0.5, 1.0);
#if defined(HAS_COLOR_FACTOR) || defined(HAS_VERTEX_COLORS)
    colorOut = vec4(encodeSrgb(clamp(base.rgb, 0.0, 1.0)), 1.0);
#else
    colorOut = vec4(texel.rgb, 1.0);
#endif
}
