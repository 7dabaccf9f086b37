#version 430 core
// Lit scene, vertex stage: places the vertex and lights it.
//
// The lights are evaluated here, once per vertex, and the results are
// interpolated across each triangle (Gouraud shading). On a CPU rasteriser
// every fragment instruction runs for every covered pixel, so per-pixel work
// is kept to the texture, the shadow and the tone curve; the shipped meshes
// are tessellated finely enough (1-unit squares on the plaza) for the light
// pools to stay round. The shadow-casting spot light's share is handed over
// separately, so the fragment stage can shadow it per pixel.
//
// All light terms are linear radiance; the fragment stage multiplies the
// diffuse sums by the decoded texture colour and tone-maps the total.

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

layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 uv;

uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;

uniform int numPointLights;
uniform PointLight pointLights[MAX_POINT_LIGHTS];
uniform int numSpotLights;
uniform SpotLight spotLights[MAX_SPOT_LIGHTS];
uniform vec3 ambientColor;
uniform float ambientStrength;

// The shadow-casting light: its view-projection, projection and position
// (zero before the first shadow pass, when no spot light matches and nothing
// is shadowed), and its depth map, whose size sets the shadow bias.
uniform mat4 lightSpaceMatrix;
uniform mat4 lightSpaceProjMatrix;
uniform vec3 lightPosition;
uniform sampler2D shadowMap;

out vec2 texCoord;
// lightSpaceMatrix * world position: linear in the world position, so the
// interpolated value is exact at every fragment.
out vec4 lightClipPosition;
// Light reaching the surface, unshadowed: the diffuse part is still to be
// multiplied by the surface colour, the specular part is not.
out vec3 diffuseLight;
out vec3 specularLight;
// The same for the shadow-casting spot light alone.
out vec3 casterDiffuse;
out vec3 casterSpecular;
// How far (world units, along the caster's view axis) the fragment stage
// moves the surface towards the caster before comparing it with the depth
// map, so that it does not shadow itself.
out float shadowBias;

// Blinn-Phong highlight: kept modest, the scene has no specular maps.
const float SPECULAR_STRENGTH = 0.25;

// Distance falloff, 1 at the light and about 1/5 at 10 units; the linear
// term keeps nearby lights from blowing up the way a pure 1/d^2 would.
float attenuation(float d)
{
    return 1.0 / (1.0 + 0.09 * d + 0.032 * d * d);
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
// `specular`. `offset` runs from the surface to the light; `radiance` is the
// light's colour before the distance falloff.
void addLight(vec3 n, vec3 toCamera, vec3 offset, vec3 radiance, inout vec3 diffuse, inout vec3 specular)
{
    // One inverse square root gives both the direction and the distance.
    float distance2 = dot(offset, offset);
    float inverseDistance = inversesqrt(max(distance2, 1e-30));
    // A light exactly at the vertex shines along the normal.
    vec3 toLight = distance2 > 0.0 ? offset * inverseDistance : n;
    radiance *= attenuation(distance2 * inverseDistance);
    float cosLight = max(dot(n, toLight), 0.0);
    vec3 halfway = toLight + toCamera;
    float cosHalf = max(dot(n, halfway), 0.0) * inversesqrt(max(dot(halfway, halfway), 1e-30));
    float highlight = cosLight > 0.0 ? SPECULAR_STRENGTH * power48(cosHalf) : 0.0;
    diffuse += cosLight * radiance;
    specular += highlight * radiance;
}

// 1 inside the inner cone, 0 outside the outer cone, a smooth step between.
// `fromLight` runs from the light to the surface (any length).
float coneFactor(SpotLight light, vec3 fromLight)
{
    float lengths = length(light.direction) * length(fromLight);
    // No direction, or the surface at the light: the spot lights nothing.
    if (lengths <= 0.0)
        return 0.0;
    float cosAngle = dot(fromLight, light.direction) / lengths;
    // A larger cosine is a narrower angle; guard equal cones (a hard edge).
    float width = max(light.innerRadius - light.outerRadius, 1e-4);
    return smoothstep(0.0, 1.0, (cosAngle - light.outerRadius) / width);
}

void main()
{
    vec4 world = model * vec4(position, 1.0);
    gl_Position = projection * view * world;
    texCoord = uv;
    lightClipPosition = lightSpaceMatrix * world;

    // Model matrices only turn and move (a rotation about the model's axis,
    // then its position), so their upper 3 x 3 turns normals as it turns
    // directions.
    vec3 worldNormal = mat3(model) * normal;
    vec3 n = dot(worldNormal, worldNormal) > 0.0 ? normalize(worldNormal) : vec3(0.0);
    // The camera is the origin of view space. The view matrix is a rotation
    // R and a translation t, so the camera sits at -transpose(R) * t.
    vec3 cameraPosition = -(transpose(mat3(view)) * view[3].xyz);
    vec3 toCamera = normalize(cameraPosition - world.xyz);

    vec3 diffuse = ambientStrength * ambientColor;
    vec3 specular = vec3(0.0);
    for (int i = 0; i < min(numPointLights, MAX_POINT_LIGHTS); ++i)
        addLight(n, toCamera, pointLights[i].position - world.xyz, pointLights[i].color, diffuse, specular);

    // Only the first spot light at the shadow caster's position is shadowed.
    vec3 shadowedDiffuse = vec3(0.0);
    vec3 shadowedSpecular = vec3(0.0);
    bool shadowClaimed = false;
    for (int i = 0; i < min(numSpotLights, MAX_SPOT_LIGHTS); ++i) {
        vec3 offset = spotLights[i].position - world.xyz;
        vec3 radiance = spotLights[i].color * coneFactor(spotLights[i], -offset);
        bool castsShadow = !shadowClaimed && distance(spotLights[i].position, lightPosition) < 1e-4;
        if (castsShadow) {
            shadowClaimed = true;
            addLight(n, toCamera, offset, radiance, shadowedDiffuse, shadowedSpecular);
        } else {
            addLight(n, toCamera, offset, radiance, diffuse, specular);
        }
    }

    diffuseLight = diffuse;
    specularLight = specular;
    casterDiffuse = shadowedDiffuse;
    casterSpecular = shadowedSpecular;

    // One map texel spans 2 w / (p11 * height) world units at distance w
    // along the caster's view axis. The filter compares texels up to one
    // away, where a surface tilted by theta from the caster lies tan(theta)
    // texels nearer or further: a slope-scaled bias of a texel plus 1.5
    // tan(theta) texels (theta capped near grazing) keeps it from shadowing
    // itself. Linear in w, so it interpolates well across a triangle.
    vec3 toCaster = lightPosition - world.xyz;
    float cosCaster = clamp(dot(n, toCaster) * inversesqrt(max(dot(toCaster, toCaster), 1e-30)), 0.05, 1.0);
    float tanCaster = min(sqrt(1.0 - cosCaster * cosCaster) / cosCaster, 10.0);
    float p11 = lightSpaceProjMatrix[1][1];
    float texelSize = p11 > 0.0 ? 2.0 * lightClipPosition.w / (p11 * float(textureSize(shadowMap, 0).y)) : 0.0;
    shadowBias = texelSize * (1.0 + 1.5 * tanCaster);
}
