// Camera path loading and playback from any file content: the reader, the
// path file's schema, the Bezier evaluation at any degree the loader accepts,
// the easing curves and the aiming, plus the free-flight operations.
#include "FuzzSupport.h"

#include "camera/Camera.h"

#include <cmath>
#include <memory>
#include <stdexcept>

namespace {

bool finite(const glm::vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// front, right and up never turn into NaNs: a degenerate aim keeps the last
// good ones (a non-finite eye or target is such a degenerate aim).
void checkDirections(const Camera& camera)
{
    FUZZ_CHECK(finite(camera.getFront()));
    FUZZ_CHECK(finite(camera.getRight()));
    FUZZ_CHECK(finite(camera.getUp()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = writeFuzzFile(data, size, "animationpath.txt");
    std::unique_ptr<Camera> camera;
    if (!convertsCleanly([&] { camera = std::make_unique<Camera>(glm::vec3(0, 0, -5), glm::vec3(0, 0, 1), glm::vec3(0, 1, 0), path); }))
        return 0;
    checkDirections(*camera);

    // Frame times from a stalled first frame (0: a zero-length segment at
    // clock 0) to a long hitch that runs past several segments.
    for (float step : {0.0f, 0.016f, 0.016f, 0.4f, 3.0f, 0.016f, 250.0f}) {
        camera->updateAnimation(step);
        checkDirections(*camera);
    }
    camera->resetAnimation();
    camera->updateAnimation(0.0f);
    checkDirections(*camera);

    camera->toggleAnimation();
    camera->rotate(400.0f, -900.0f);
    camera->move(Down, 0.1f);
    camera->move(Right, 0.1f);
    camera->dolly(-1.0f);
    checkDirections(*camera);
    camera->toggleAnimation();
    camera->updateAnimation(0.5f);
    checkDirections(*camera);
    camera->getViewMatrix();
    return 0;
}
