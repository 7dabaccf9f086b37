#include "ShippedScene.h"

#include "TextFormat.h"

#include <cmath>
#include <sstream>

namespace {
const glm::vec3 kFountain(-6.0f, 1.0f, 2.0f); // where the viewer's fountain emitter sits
} // namespace

ShippedScene::ShippedScene()
{
    placeModels();
    placeLights();
    planTour();
}

glm::vec3 ShippedScene::moonDirection()
{
    // 22 degrees above the horizon, over the colonnade (towards +z, a
    // little to -x): low enough for long shadows across the plaza.
    const float elevation = 0.383972435f;
    const glm::vec2 across = glm::normalize(glm::vec2(-0.35f, 0.81f));
    return {across.x * std::cos(elevation), std::sin(elevation), across.y * std::cos(elevation)};
}

void ShippedScene::placeModels()
{
    const std::string folder = "assets/models/";
    // Models are drawn in name order. The ground comes last among the opaque
    // ones, so the depth test skips its pixels behind everything else.
    models = {
        {"31_colonnade", folder + "colonnade.obj", {0.0f, 0.0f, 11.0f}},
        {"32_arch", folder + "arch.obj", {13.0f, 0.0f, 3.0f}},
        {"33_pedestal", folder + "pedestal.obj", {0.0f, 0.0f, 2.0f}},
        // The knot is centred on its own origin so that it turns in place
        // 0.3 above the pedestal.
        {"34_torusknot", folder + "torusknot.obj", {0.0f, 3.91f, 2.0f}, {0.0f, 1.0f, 0.0f}, 24.0f},
        {"35_crate_a", folder + "crate.obj", {7.0f, 0.0f, -1.0f}},
        {"36_crate_b", folder + "crate.obj", {7.0f, 1.2f, -1.0f}},
        {"37_crate_c", folder + "crate.obj", {8.35f, 0.0f, -0.4f}},
        {"38_fountain", folder + "fountain.obj", {kFountain.x, 0.0f, kFountain.z}},
        {"39_ground", folder + "ground.obj", {0.0f, 0.0f, 0.0f}},
        // Glass: refraction is the ratio of refractive indices (air to
        // glass), reflection the share of reflected light.
        {"40_glass_sphere", folder + "glass_sphere.obj", {4.0f, 1.25f, -5.0f}, {0, 0, 0}, 0.0f, 0.9f, 0.66f, 0.3f},
        {"41_glass_teapot", folder + "teapot.obj", {-3.5f, 0.0f, -6.5f}, {0, 1, 0}, 15.0f, 0.8f, 0.75f, 0.35f},
    };
}

void ShippedScene::placeLights()
{
    // The first spot light by name casts the shadows. It stands 38 units
    // towards the moon and looks back at the plaza: every shadow caster
    // lies well inside its 90-degree view and between 0.1 and 100 units.
    // Light falls off with distance (about 1/50 at 38 units, 1/6 at 11), so
    // the spot colours are that much brighter than the light reaching the
    // plaza: pale moonlight of about 0.7 and a warm glass spot of about 0.8.
    const glm::vec3 moon = moonDirection();
    spotLights = {
        {"10_spot_moonlight", moon * 38.0f, -moon, {34.0f, 36.0f, 42.0f}, 34.0f, 44.0f},
        {"11_spot_glass", {0.5f, 9.5f, -11.0f}, {0.0f, -9.5f, 5.5f}, {5.0f, 4.4f, 3.25f}, 16.0f, 24.0f},
    };
    pointLights = {
        {"20_point_fountain", {kFountain.x, 3.0f, kFountain.z}, {1.0f, 0.6f, 0.3f}},
        {"21_point_glass", {6.0f, 2.5f, -7.0f}, {0.3f, 0.7f, 1.0f}},
        {"22_point_arch", {13.0f, 3.2f, 0.5f}, {0.95f, 0.3f, 0.8f}},
        {"23_point_crates", {9.5f, 2.2f, -3.5f}, {0.35f, 0.9f, 0.6f}},
        {"24_point_colonnade", {-4.0f, 4.5f, 8.3f}, {0.6f, 0.45f, 1.0f}},
    };
}

void ShippedScene::planTour()
{
    // Eye: down from the sky towards the glass, between the sphere and the
    // teapot, round the fountain, up beside the arch to watch a burst over
    // the moon, down the colonnade's shadows, and back out to a wide view.
    eye.start(1, 7.0f, {{-3.0f, 8.5f, -27.0f}, {-2.0f, 7.0f, -22.0f}, {1.1f, 2.8f, -16.0f}, {1.1f, 2.5f, -12.5f}});
    eye.next(2, 3.0f, 4.5f, {});
    eye.next(0, 4.0f, 0.0f, {{-6.0f, 2.6f, -2.5f}});
    eye.next(0, 8.0f, 0.0f, {{-14.0f, 2.8f, 6.0f}, {-5.5f, 3.6f, 7.0f}, {-1.5f, 4.0f, 6.5f}});
    eye.next(3, 6.0f, 0.0f, {{9.0f, 5.0f, -4.0f}, {14.0f, 4.2f, -10.0f}});
    eye.next(1, 8.0f, 2.0f, {{10.0f, 3.5f, -13.0f}, {6.0f, 3.0f, -9.5f}});
    eye.next(2, 4.0f, 2.5f, {{-2.0f, 6.0f, -14.0f}});
    eye.next(3, 6.0f, 0.0f, {{-1.0f, 5.5f, -21.0f}, {-1.0f, 5.0f, -22.0f}});

    // Target: the plaza, the sphere, the teapot as the eye passes it, the
    // fountain, high over the moon to the bursts, down to the shadows, and
    // the colonnade under the moon.
    target.start(1, 7.0f, {{0.0f, 2.0f, 4.0f}, {0.5f, 1.8f, 1.0f}, {3.8f, 1.3f, -3.5f}, {2.8f, 1.2f, -5.0f}});
    target.next(1, 4.0f, 1.0f, {{-3.5f, 1.2f, -6.3f}});
    target.next(1, 4.0f, 1.0f, {{-7.5f, 1.3f, -1.5f}, {-6.0f, 1.4f, 2.0f}});
    target.next(1, 7.0f, 0.4f, {});
    target.next(1, 6.0f, 1.0f, {{4.0f, 14.0f, 4.0f}, {6.6f, 16.6f, 3.9f}});
    target.next(1, 2.5f, 0.3f, {{6.2f, 17.2f, 4.2f}});
    target.next(2, 5.5f, 1.5f, {{3.0f, 10.0f, 6.0f}, {0.5f, 2.0f, 4.5f}, {-0.5f, 1.5f, 4.5f}});
    target.next(3, 10.0f, 0.0f, {{-3.0f, 5.0f, 8.0f}, {-3.0f, 6.5f, 8.0f}});
}

std::string ShippedScene::sceneText() const
{
    std::ostringstream out;
    out << "$ 00_ambient 2\nambientStrength 0 0.22\nambientColor 0 0.4,0.46,0.75\n";
    for (const SpotLight& light : spotLights) {
        out << "\n$ " << light.section << " 1\ntype 0 1\n";
        out << "position 0 " << formatVector(light.position) << '\n';
        out << "direction 0 " << formatVector(light.direction) << '\n';
        out << "color 0 " << formatVector(light.color) << '\n';
        out << "innerRadius 0 " << formatNumber(light.innerRadius) << '\n';
        out << "outerRadius 0 " << formatNumber(light.outerRadius) << '\n';
    }
    for (const PointLight& light : pointLights) {
        out << "\n$ " << light.section << " 1\ntype 0 0\n";
        out << "position 0 " << formatVector(light.position) << '\n';
        out << "color 0 " << formatVector(light.color) << '\n';
    }
    for (const ModelPlacement& model : models) {
        out << "\n$ " << model.section << " 0\npath 0 " << model.path << '\n';
        out << "position 0 " << formatVector(model.position) << '\n';
        if (model.speed > 0.0f) {
            out << "axis 0 " << formatVector(model.axis) << '\n';
            out << "speed 0 " << formatNumber(model.speed) << '\n';
        }
        if (model.transparency > 0.0f) {
            out << "transparency 0 " << formatNumber(model.transparency) << '\n';
            out << "refraction 0 " << formatNumber(model.refraction) << '\n';
            out << "reflection 0 " << formatNumber(model.reflection) << '\n';
        }
    }
    return out.str();
}

std::string ShippedScene::pathText() const { return eye.text() + target.text(); }
