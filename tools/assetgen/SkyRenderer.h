#pragma once

#include "RgbImage.h"

#include <glm/glm.hpp>

#include <cstdint>
#include <vector>

// Renders the night sky's six cube-map faces from one function of the view
// direction, so that the faces meet without seams: a dark blue gradient
// that lightens towards the horizon, a faint milky band along a great
// circle, a dense field of stars of varied brightness and colour, and a moon.
//
// Faces follow OpenGL's cube-map layout as the viewer uploads them: face i
// fills GL_TEXTURE_CUBE_MAP_POSITIVE_X + i (+X, -X, +Y, -Y, +Z, -Z) and the
// first row of each image is t = 0.
class SkyRenderer {
public:
    struct Settings {
        int faceSize = 1024;
        glm::vec3 moonDirection{0.0f, 0.5f, 0.866f}; // unit vector
        float moonRadius = 0.045f;                    // radians
        glm::vec3 bandNormal{0.0f, 0.0f, 1.0f};       // the milky band lies across this axis
        int stars = 14000;                            // spread evenly
        int bandStars = 10000;                        // gathered along the band
        std::uint64_t seed = 1;
    };

    explicit SkyRenderer(const Settings& settings);

    // Unit direction through texel coordinates (s, t) in [0, 1] of a face.
    static glm::vec3 faceDirection(int face, float s, float t);
    // Texel coordinates of `direction` on `face` when it points into that
    // face's half-space; s and t may then lie outside [0, 1].
    static bool faceCoordinates(int face, const glm::vec3& direction, float& s, float& t);
    // "ft", "bk", "up", "dn", "rt", "lf" for faces 0 to 5.
    static const char* faceSuffix(int face);

    // The sky without stars or the moon's disc.
    glm::vec3 background(const glm::vec3& direction) const;
    RgbImage renderFace(int face) const;
    // Per-pixel dither offsets in [-0.5, 0.5) that hide banding in the dark gradient.
    std::vector<float> dither(int face) const;

private:
    struct Star {
        glm::vec3 direction;
        glm::vec3 color; // peak value added to the sky
        float sigma;     // angular spread, radians
    };

    glm::vec3 pixelDirection(int face, int x, int y) const;
    void addStars(RgbImage& image, int face) const;
    void addMoon(RgbImage& image, int face) const;
    static float horizonFade(const glm::vec3& direction);

    Settings settings;
    std::vector<Star> stars;
};
