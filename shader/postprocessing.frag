#version 430 core
// Composite, fragment stage: the transparent models as glass over the lit
// scene.
//
// Pixels without glass show the lit scene unchanged. The frame copies the
// lit scene to the window first and draws this quad scissored to the
// rectangles the transparent models may cover (RefractionCaptures::
// drawComposite); inside them, pixels without glass discard and keep the
// copy. A CPU rasteriser pays for both sides of every branch, so the
// rectangles, not the branch, keep the cost to the glass.
//
// For a glass pixel, with every position in view space (the eye at the
// origin, looking down -z):
//   1. the front and back surfaces are rebuilt from the two capture depths;
//   2. the view ray is refracted into the body at the front normal by
//      "refraction", the ratio of the refractive indices outside and inside
//      (1 / 1.5 = 0.67 for glass in air; 1 bends nothing), travels the
//      body's thickness, leaves through the back surface found there
//      (refracted again by the inverse ratio) and meets the opaque scene
//      behind, where "image" is sampled;
//   3. the mirrored ray is marched through "depthMap" in screen space; where
//      it meets nothing on screen a night-sky gradient stands in;
//   4. the body's own lit colour, the tinted background and the reflection
//      are blended by "transparency" and a Schlick Fresnel term scaled by
//      "reflection", and the shadow-casting light adds a sharp highlight
//      unless the shadow map hides it.
// Colours are blended in linear light: "image" and the captures hold
// sRGB-encoded 8-bit colour, decoded here with a gamma of 2 (a square and a
// square root instead of the sRGB powers: close enough for blending, and an
// exact round trip where nothing is blended).

// The lit scene (unit 2) and its depth (unit 3).
uniform sampler2D image;
uniform sampler2D depthMap;
// Front capture: outward normal remapped to [0, 1], depth, surface colour.
uniform sampler2D refractionFrontNormal;
uniform sampler2D refractionFrontDepth;
uniform sampler2D refractionFrontColor;
// Back capture: the same for the far side of the nearest body.
uniform sampler2D refractionBackNormal;
uniform sampler2D refractionBackDepth;
// Reflection/refraction capture: the body's own lit colour and its material
// (refraction * 127 / 255, reflection, transparency).
uniform sampler2D rrColor;
uniform sampler2D reflectionRefraction;

uniform mat4 projectionMatrix;
uniform mat4 inverseProjectionMatrix;
uniform mat4 viewMatrix;
uniform mat4 inverseViewMatrix;

// The shadow-casting spot light: its depth map on unit 1 (plain depth, no
// compare mode), its view-projection and projection, position and colour.
uniform sampler2D shadowMap;
uniform mat4 lightSpaceMatrix;
uniform mat4 lightSpaceProjMatrix;
uniform vec3 lightPosition;
uniform vec3 lightColor;

layout(location = 0) out vec4 fragColor;

// The reflection march: up to MARCH_STEPS steps along the mirrored ray, the
// first FIRST_STEP view units long and each STEP_GROWTH times the one before
// (about 40 units in all), then REFINE_STEPS halvings around the crossing.
// Steps must stay short near the start: a ray that dips under a floor seen
// at a grazing angle is caught only while it is just below it.
const int MARCH_STEPS = 16;
const int REFINE_STEPS = 4;
const float FIRST_STEP = 0.15;
const float STEP_GROWTH = 1.35;
// A crossing counts as a hit when the ray is at most this far (plus the step
// length) behind the surface; further behind, it passes behind an object.
const float HIT_THICKNESS = 0.25;
// Below this weight (at most 4 % of the colour) the reflection is not
// marched: the sky stands in.
const float MIN_REFLECTION = 0.04;
// Distance taken for the sky when the refracted ray meets it.
const float SKY_DISTANCE = 10000.0;

// Peak strength of the shadow-casting light's highlight on the glass.
const float HIGHLIGHT_STRENGTH = 2.0;

vec2 screenSize;

vec3 decode(vec3 c)
{
    return c * c;
}

vec3 encode(vec3 c)
{
    return sqrt(c);
}

ivec2 pixelAt(vec2 uv)
{
    return clamp(ivec2(uv * screenSize), ivec2(0), ivec2(screenSize) - 1);
}

// View-space z of window depth d. The projection is a perspective frustum,
// so screen x and y do not enter the z and w rows of its inverse.
float viewZAt(float depth)
{
    float zNdc = depth * 2.0 - 1.0;
    return (inverseProjectionMatrix[2][2] * zNdc + inverseProjectionMatrix[3][2])
         / (inverseProjectionMatrix[2][3] * zNdc + inverseProjectionMatrix[3][3]);
}

// The view ray through screen point uv (0 to 1), scaled to z = -1: the
// point at view depth z on it is ray * -z.
vec3 viewRay(vec2 uv)
{
    vec4 p = inverseProjectionMatrix * vec4(uv * 2.0 - 1.0, 0.0, 1.0);
    return p.xyz / -p.z;
}

vec2 project(vec3 p)
{
    vec4 clip = projectionMatrix * vec4(p, 1.0);
    return clip.xy / clip.w * 0.5 + 0.5;
}

// Stand-in for what the mirrored ray sees when the screen does not show it:
// a dark blue night sky by world direction, brightest at the horizon, with a
// darker ground below. The colours are sRGB-encoded.
vec3 nightSky(vec3 viewDirection)
{
    float up = normalize(mat3(inverseViewMatrix) * viewDirection).y;
    vec3 horizon = vec3(0.10, 0.12, 0.22);
    vec3 zenith = vec3(0.015, 0.02, 0.07);
    vec3 ground = vec3(0.03, 0.03, 0.045);
    vec3 sky = mix(horizon, zenith, sqrt(clamp(up, 0.0, 1.0)));
    vec3 below = mix(horizon, ground, sqrt(clamp(-up * 4.0, 0.0, 1.0)));
    return decode(up >= 0.0 ? sky : below);
}

// Marches the mirrored ray from `origin` along `direction` against the lit
// scene's depth for at most `steps` steps. Returns the linear colour it
// finds, or the sky. The loops end as soon as no pixel shaded alongside
// this one needs another step, so a zero `steps` costs about one step.
vec3 traceReflection(vec3 origin, vec3 direction, int steps)
{
    float nearPlane = projectionMatrix[3][2] / (projectionMatrix[2][2] - 1.0);
    vec3 previous = origin;
    vec3 current = origin;
    float stepLength = FIRST_STEP;
    bool found = false;
    for (int i = 0; i < steps; ++i) {
        current = previous + direction * stepLength;
        vec2 uv = project(current);
        // Behind the near plane or off the screen, the screen cannot tell.
        if (current.z > -nearPlane || any(lessThan(uv, vec2(0.0))) || any(greaterThan(uv, vec2(1.0))))
            break;
        float depth = texelFetch(depthMap, pixelAt(uv), 0).r;
        // How far the ray is behind the surface shown there (the sky, at
        // depth 1, is never met).
        float behind = depth < 1.0 ? viewZAt(depth) - current.z : -1.0;
        if (behind > 0.0 && behind < HIT_THICKNESS + stepLength) {
            found = true;
            break;
        }
        previous = current;
        stepLength *= STEP_GROWTH;
    }
    // The surface lies between `previous` (in front of it) and `current`
    // (behind it): halve the interval.
    for (int i = 0; i < (found ? REFINE_STEPS : 0); ++i) {
        vec3 middle = 0.5 * (previous + current);
        float depth = texelFetch(depthMap, pixelAt(project(middle)), 0).r;
        if (depth < 1.0 && viewZAt(depth) > middle.z)
            current = middle;
        else
            previous = middle;
    }
    vec3 sky = nightSky(direction);
    if (!found)
        return sky;
    vec2 uv = project(current);
    // Fade to the sky towards the screen's edges, where the march would cut
    // off abruptly.
    vec2 edge = min(uv, 1.0 - uv);
    float onScreen = smoothstep(0.0, 0.06, min(edge.x, edge.y));
    return mix(sky, decode(textureLod(image, uv, 0.0).rgb), onScreen);
}

// Share of the shadow-casting light that reaches the view-space point: 0 in
// its shadow or outside its view, 1 lit.
float lightVisibility(vec3 viewPoint)
{
    // No light projection handed over yet (before the first shadow pass).
    if (abs(lightSpaceProjMatrix[3][2]) < 1e-12)
        return 0.0;
    vec4 lightClip = lightSpaceMatrix * (inverseViewMatrix * vec4(viewPoint, 1.0));
    if (lightClip.w <= 1e-6)
        return 0.0;
    vec3 ndc = lightClip.xyz / lightClip.w;
    vec2 mapCoord = ndc.xy * 0.5 + 0.5;
    if (any(lessThan(mapCoord, vec2(0.0))) || any(greaterThan(mapCoord, vec2(1.0))) || abs(ndc.z) > 1.0)
        return 0.0;
    ivec2 size = textureSize(shadowMap, 0);
    float stored = texelFetch(shadowMap, clamp(ivec2(mapCoord * vec2(size)), ivec2(0), size - 1), 0).r;
    // Distances along the light's axis: a stored depth d lies at
    // p32 / (z_ndc + p22) with z_ndc = 2d - 1; two texels of slack as bias.
    float p22 = lightSpaceProjMatrix[2][2];
    float p32 = lightSpaceProjMatrix[3][2];
    float occluder = p32 / ((stored * 2.0 - 1.0) + p22);
    float texel = 2.0 * lightClip.w / (lightSpaceProjMatrix[1][1] * float(size.y));
    return lightClip.w - 2.0 * texel > occluder ? 0.0 : 1.0;
}

void main()
{
    ivec2 pixel = ivec2(gl_FragCoord.xy);
    float frontDepth = texelFetch(refractionFrontDepth, pixel, 0).r;
    // No glass here: the lit scene stays as copied.
    if (frontDepth >= 1.0)
        discard;
    // An opaque surface in front of the glass hides it.
    float sceneDepth = texelFetch(depthMap, pixel, 0).r;
    if (sceneDepth < frontDepth)
        discard;

    screenSize = vec2(textureSize(depthMap, 0));
    vec2 uv = gl_FragCoord.xy / screenSize;

    vec3 material = texelFetch(reflectionRefraction, pixel, 0).rgb;
    // The index ratio outside / inside. A ratio of 0 (a scene file without
    // the key) describes no medium at all: such a body bends nothing.
    float eta = material.r > 0.0 ? material.r * (255.0 / 127.0) : 1.0;
    float reflectivity = material.g;
    float transparency = material.b;

    // 1. The surfaces, on the view ray through this pixel. The front normal
    //    is made to face the viewer: 8-bit normals at a silhouette may tip
    //    slightly past the perpendicular.
    vec3 ray = viewRay(uv);
    float frontZ = viewZAt(frontDepth);
    vec3 front = ray * -frontZ;
    vec3 toSurface = normalize(ray);
    vec3 frontNormal = normalize(texelFetch(refractionFrontNormal, pixel, 0).rgb * 2.0 - 1.0);
    float facing = dot(frontNormal, toSurface);
    if (facing > -0.01)
        frontNormal = normalize(frontNormal - toSurface * (facing + 0.01));
    float backDepth = texelFetch(refractionBackDepth, pixel, 0).r;
    // Thickness along the view ray; none for an open mesh without a back.
    float thickness = backDepth < 1.0 ? max(frontZ - viewZAt(backDepth), 0.0) * length(ray) : 0.0;

    // 2. Refraction. Past the critical angle (possible entering only for a
    //    ratio above 1) the ray goes on straight.
    vec3 inside = refract(toSurface, frontNormal, eta);
    if (dot(inside, inside) == 0.0)
        inside = toSurface;
    // Where the ray leaves. Through a round body the chord along a ray
    // entering at angle i and going on at angle t is the chord along the
    // view ray scaled by cos t / cos i (both 2 r cos of their angle), which
    // lengthens the path of the rays that enter near the rim. The point
    // reached is then moved along its view ray onto the back surface seen
    // there.
    float cosIn = max(-dot(toSurface, frontNormal), 0.05);
    float cosOn = -dot(inside, frontNormal);
    vec3 exitPoint = front + inside * (thickness * min(cosOn / cosIn, 4.0));
    vec3 leaving = inside;
    ivec2 exitPixel = pixelAt(project(exitPoint));
    float exitDepth = texelFetch(refractionBackDepth, exitPixel, 0).r;
    vec3 backNormal = normalize(texelFetch(refractionBackNormal, exitPixel, 0).rgb * 2.0 - 1.0);
    if (thickness > 0.0 && exitDepth < 1.0) {
        exitPoint *= viewZAt(exitDepth) / exitPoint.z;
        // Leaving, the inward normal faces the ray and the ratio inverts.
        vec3 outward = refract(inside, -backNormal, 1.0 / eta);
        if (dot(backNormal, inside) > 0.0 && dot(outward, outward) > 0.0)
            leaving = outward;
    }
    // Where the leaving ray meets the scene: first taken as the plane of the
    // opaque surface straight behind the pixel (the sky far away), then once
    // more at the depth found where that lands.
    float along = min(leaving.z, -0.05);
    float planeZ = sceneDepth < 1.0 ? viewZAt(sceneDepth) : -SKY_DISTANCE;
    vec2 sampleUv = project(exitPoint + leaving * max((planeZ - exitPoint.z) / along, 0.0));
    float landed = texelFetch(depthMap, pixelAt(sampleUv), 0).r;
    if (landed < 1.0)
        sampleUv = project(exitPoint + leaving * max((viewZAt(landed) - exitPoint.z) / along, 0.0));
    // What lies in front of the glass cannot be seen through it: look
    // straight through instead (that point is known to lie behind).
    if (landed < frontDepth)
        sampleUv = uv;
    vec2 halfTexel = 0.5 / screenSize;
    vec3 background = decode(textureLod(image, clamp(sampleUv, halfTexel, 1.0 - halfTexel), 0.0).rgb);

    // 3. Reflection, weighted by Schlick's Fresnel term for this ratio.
    vec3 mirrored = reflect(toSurface, frontNormal);
    float cosView = clamp(-dot(toSurface, frontNormal), 0.0, 1.0);
    float f0 = (1.0 - eta) / (1.0 + eta);
    f0 *= f0;
    float grazing = 1.0 - cosView;
    float grazing2 = grazing * grazing;
    float fresnel = f0 + (1.0 - f0) * grazing2 * grazing2 * grazing;
    float reflectionWeight = clamp(reflectivity * fresnel, 0.0, 1.0);
    // A ray turned back towards the camera meets what lies behind it, which
    // the screen does not show: it gets the sky without a march.
    bool march = reflectionWeight > MIN_REFLECTION && mirrored.z < 0.0;
    vec3 reflected = traceReflection(front, mirrored, march ? MARCH_STEPS : 0);

    // 4. The blend. The background is tinted by the body's colour; the less
    //    transparent the body, the more its own lit colour shows instead.
    vec3 tint = decode(texelFetch(refractionFrontColor, pixel, 0).rgb);
    vec3 own = decode(texelFetch(rrColor, pixel, 0).rgb);
    vec3 color = mix(mix(own, background * tint, transparency), reflected, reflectionWeight);

    // The shadow-casting light's highlight: a Blinn-Phong lobe of power 256
    // (eight squarings) with the lit pass's distance falloff.
    vec3 toLight = (viewMatrix * vec4(lightPosition, 1.0)).xyz - front;
    float lightDistance = length(toLight);
    toLight /= max(lightDistance, 1e-6);
    float lobe = max(dot(frontNormal, normalize(toLight - toSurface)), 0.0);
    for (int i = 0; i < 8; ++i)
        lobe *= lobe;
    if (dot(frontNormal, toLight) > 0.0 && lobe > 1e-3) {
        float falloff = 1.0 / (1.0 + 0.09 * lightDistance + 0.032 * lightDistance * lightDistance);
        color += lightColor * (falloff * HIGHLIGHT_STRENGTH * lobe * lightVisibility(front));
    }

    fragColor = vec4(encode(clamp(color, 0.0, 1.0)), 1.0);
}
