#version 430 core
// The framebuffer has a depth attachment only: the fixed-function depth
// write is all this pass produces. A masked material casts where its alpha
// reaches its cutoff, a blended one where its alpha reaches one half (both:
// the larger of the two).

#if defined(HAS_ALPHA_MASK) || defined(HAS_ALPHA_BLEND)
#include "material.glsl"
#endif

void main()
{
#if defined(HAS_ALPHA_MASK) || defined(HAS_ALPHA_BLEND)
    float alpha = surfaceColor(texture(diffuseTexture, texCoord)).a;
#if defined(HAS_ALPHA_MASK) && defined(HAS_ALPHA_BLEND)
    float cutoff = max(alphaCutoff, 0.5);
#elif defined(HAS_ALPHA_MASK)
    float cutoff = alphaCutoff;
#else
    float cutoff = 0.5;
#endif
    if (alpha < cutoff)
        discard;
#endif
}
