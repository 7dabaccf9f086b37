#include "SkyRenderer.h"

#include "Noise.h"
#include "Random.h"

#include <algorithm>
#include <cmath>

namespace {

const Noise kBandNoise(4242);
const Noise kLaneNoise(777);
const Noise kMoonNoise(1969);

glm::vec3 starColor(float pick)
{
    if (pick < 0.25f)
        return {0.76f, 0.85f, 1.0f}; // hot, blue-white
    if (pick < 0.7f)
        return {1.0f, 1.0f, 1.0f};
    if (pick < 0.9f)
        return {1.0f, 0.92f, 0.76f};
    return {1.0f, 0.78f, 0.58f}; // cool, orange
}

} // namespace

SkyRenderer::SkyRenderer(const Settings& settings) : settings(settings)
{
    Random random(settings.seed);
    // Brightness falls off steeply: most stars are faint, a few are bright
    // and spread a little wider.
    for (int i = 0; i < settings.stars; ++i) {
        const glm::vec3 direction = random.unitVector();
        const float bright = std::pow(random.uniform(), 5.0f);
        const float peak = 0.09f + 0.85f * bright;
        stars.push_back({direction, starColor(random.uniform()) * peak, 0.0009f + 0.0011f * bright});
    }
    // Band stars are faint and lie close to the band's great circle.
    while (static_cast<int>(stars.size()) < settings.stars + settings.bandStars) {
        const glm::vec3 direction = random.unitVector();
        const float off = glm::dot(direction, settings.bandNormal);
        const float keep = random.uniform();
        const float peak = 0.05f + 0.2f * std::pow(random.uniform(), 3.0f);
        const glm::vec3 color = starColor(random.uniform());
        if (keep < std::exp(-off * off / (2.0f * 0.1f * 0.1f)))
            stars.push_back({direction, color * peak, 0.0009f});
    }
}

glm::vec3 SkyRenderer::faceDirection(int face, float s, float t)
{
    const float a = 2.0f * s - 1.0f, b = 2.0f * t - 1.0f;
    glm::vec3 d;
    switch (face) {
    case 0: d = {1.0f, -b, -a}; break;  // +X: sc = -z, tc = -y
    case 1: d = {-1.0f, -b, a}; break;  // -X: sc = +z, tc = -y
    case 2: d = {a, 1.0f, b}; break;    // +Y: sc = +x, tc = +z
    case 3: d = {a, -1.0f, -b}; break;  // -Y: sc = +x, tc = -z
    case 4: d = {a, -b, 1.0f}; break;   // +Z: sc = +x, tc = -y
    default: d = {-a, -b, -1.0f}; break; // -Z: sc = -x, tc = -y
    }
    return glm::normalize(d);
}

bool SkyRenderer::faceCoordinates(int face, const glm::vec3& d, float& s, float& t)
{
    float major, sc, tc;
    switch (face) {
    case 0: major = d.x; sc = -d.z; tc = -d.y; break;
    case 1: major = -d.x; sc = d.z; tc = -d.y; break;
    case 2: major = d.y; sc = d.x; tc = d.z; break;
    case 3: major = -d.y; sc = d.x; tc = -d.z; break;
    case 4: major = d.z; sc = d.x; tc = -d.y; break;
    default: major = -d.z; sc = -d.x; tc = -d.y; break;
    }
    if (major <= 1e-4f)
        return false;
    s = 0.5f * (sc / major + 1.0f);
    t = 0.5f * (tc / major + 1.0f);
    return true;
}

const char* SkyRenderer::faceSuffix(int face)
{
    static const char* const suffixes[] = {"ft", "bk", "up", "dn", "rt", "lf"};
    return suffixes[face];
}

float SkyRenderer::horizonFade(const glm::vec3& direction)
{
    // Stars and the band dim in the thick air near the horizon and vanish below it.
    return glm::smoothstep(-0.02f, 0.25f, direction.y);
}

glm::vec3 SkyRenderer::background(const glm::vec3& d) const
{
    const glm::vec3 zenith(0.008f, 0.012f, 0.045f), horizon(0.075f, 0.1f, 0.19f);
    const glm::vec3 haze(0.035f, 0.043f, 0.07f), nadir(0.012f, 0.015f, 0.026f);
    glm::vec3 color = d.y >= 0.0f ? glm::mix(horizon, zenith, std::pow(d.y, 0.45f))
                                  : glm::mix(haze, nadir, glm::smoothstep(0.0f, 0.5f, -d.y));
    color = glm::mix(color, horizon, std::exp(-std::abs(d.y) / 0.02f)); // a soft line at the horizon itself

    const float off = glm::dot(d, settings.bandNormal);
    const float band = std::exp(-off * off / (2.0f * 0.14f * 0.14f)) * horizonFade(d);
    if (band > 1e-3f) {
        const float clouds = kBandNoise.fbm(d * 5.0f, 5);
        const float lanes = glm::smoothstep(0.5f, 0.7f, kLaneNoise.fbm(d * 9.0f, 4)) * std::exp(-off * off / 0.003f);
        const float glow = 0.25f + 0.75f * glm::smoothstep(0.3f, 0.75f, clouds);
        color += glm::vec3(0.1f, 0.1f, 0.12f) * band * glow * (1.0f - 0.7f * lanes);
    }

    const float fromMoon = std::acos(glm::clamp(glm::dot(d, settings.moonDirection), -1.0f, 1.0f));
    const float halo = 0.22f * std::exp(-fromMoon / 0.035f) + 0.05f * std::exp(-fromMoon / 0.3f);
    color += glm::vec3(0.55f, 0.58f, 0.62f) * halo;
    return color;
}

glm::vec3 SkyRenderer::pixelDirection(int face, int x, int y) const
{
    const float size = static_cast<float>(settings.faceSize);
    return faceDirection(face, (static_cast<float>(x) + 0.5f) / size, (static_cast<float>(y) + 0.5f) / size);
}

void SkyRenderer::addStars(RgbImage& image, int face) const
{
    const int size = settings.faceSize, reach = 8;
    for (const Star& star : stars) {
        float s, t;
        if (!faceCoordinates(face, star.direction, s, t))
            continue;
        const int cx = static_cast<int>(std::floor(s * size)), cy = static_cast<int>(std::floor(t * size));
        if (cx < -reach || cy < -reach || cx >= size + reach || cy >= size + reach)
            continue;
        const float cutoff = std::cos(4.0f * star.sigma);
        // Every texel near the star takes its share by the angle between
        // the texel's direction and the star, so that a star on an edge
        // lights both faces alike.
        for (int y = std::max(0, cy - reach); y <= std::min(size - 1, cy + reach); ++y) {
            for (int x = std::max(0, cx - reach); x <= std::min(size - 1, cx + reach); ++x) {
                const glm::vec3 d = pixelDirection(face, x, y);
                const float cosine = glm::dot(d, star.direction);
                if (cosine < cutoff)
                    continue;
                const float angle = std::acos(std::min(1.0f, cosine));
                const float weight = std::exp(-angle * angle / (2.0f * star.sigma * star.sigma));
                image.add(x, y, star.color * weight * horizonFade(d));
            }
        }
    }
}

void SkyRenderer::addMoon(RgbImage& image, int face) const
{
    const glm::vec3 m = settings.moonDirection;
    const glm::vec3 east = glm::normalize(glm::cross(glm::vec3(0.0f, 1.0f, 0.0f), m));
    const glm::vec3 north = glm::cross(m, east);
    const float radius = settings.moonRadius, soft = 0.0015f;
    const float limit = std::cos(radius + soft);
    for (int y = 0; y < settings.faceSize; ++y) {
        for (int x = 0; x < settings.faceSize; ++x) {
            const glm::vec3 d = pixelDirection(face, x, y);
            if (glm::dot(d, m) < limit)
                continue;
            const float angle = std::acos(std::min(1.0f, glm::dot(d, m)));
            const float cover = glm::clamp((radius - angle) / soft + 0.5f, 0.0f, 1.0f);
            const glm::vec2 q(glm::dot(d, east) / radius, glm::dot(d, north) / radius);
            const float rho = std::min(1.0f, glm::length(q));
            // Dark maria from low-frequency noise over the disc, and a
            // gentle darkening towards the limb.
            const float maria = glm::smoothstep(0.48f, 0.62f, kMoonNoise.fbm({q.x * 2.2f, q.y * 2.2f, 3.0f}, 4));
            const float crater = kMoonNoise.fbm({q.x * 9.0f, q.y * 9.0f, 11.0f}, 3);
            const float limb = 0.72f + 0.28f * std::sqrt(1.0f - rho * rho);
            const glm::vec3 surface =
                glm::vec3(0.97f, 0.95f, 0.88f) * (1.0f - 0.3f * maria) * (0.9f + 0.12f * crater) * limb;
            image.set(x, y, glm::mix(image.get(x, y), surface, cover));
        }
    }
}

RgbImage SkyRenderer::renderFace(int face) const
{
    RgbImage image(settings.faceSize, settings.faceSize);
    for (int y = 0; y < settings.faceSize; ++y)
        for (int x = 0; x < settings.faceSize; ++x)
            image.set(x, y, background(pixelDirection(face, x, y)));
    addStars(image, face);
    addMoon(image, face);
    return image;
}

std::vector<float> SkyRenderer::dither(int face) const
{
    const Noise hash(9000 + static_cast<std::uint32_t>(face));
    std::vector<float> offsets;
    offsets.reserve(static_cast<std::size_t>(settings.faceSize) * settings.faceSize);
    for (int y = 0; y < settings.faceSize; ++y)
        for (int x = 0; x < settings.faceSize; ++x)
            offsets.push_back(hash.lattice(x, y, 0) - 0.5f);
    return offsets;
}
