#pragma once

#include <glm/glm.hpp>

#include <memory>
#include <string>
#include <vector>

class Camera;
class Scene;

// velmora-view's scene, made for the files it is given instead of read from
// "assets/scene.txt": the models (each file one model, all turned by the
// same rotation), framed by ViewFraming over a grey ground, under a key
// spot light, fill and rim point lights and a dim ambient light, with both
// particle emitters off; and the camera's closed orbit around them.
//
// Use: as the Viewer's scene builder (Viewer::setSceneBuilder), once.
class ViewScene {
public:
    // `files`: model files, by paths the viewer can open from its working
    // directory; `rotation`: degrees about x, then y, then z.
    ViewScene(std::vector<std::string> files, const glm::vec3& rotation);

    ~ViewScene();
    ViewScene(const ViewScene&) = delete;
    ViewScene& operator=(const ViewScene&) = delete;

    // Starts importing the files (and the ground) as the viewer does, with
    // no context needed: the Viewer's scene prefetch.
    void prefetch(Scene& scene);
    // Finishes the imports (prefetching first if that was not done; a file
    // that cannot be imported prints its line and is left out) and places
    // everything from their bounds. False, after one line, when not one file
    // gave a triangle to show.
    bool build(Scene& scene, Camera& camera);

private:
    class GroundFile;

    std::vector<std::string> files;
    glm::vec3 rotation;
    // Lives from prefetch() until the ground has been imported.
    std::unique_ptr<GroundFile> ground;
    bool prefetched = false;
};
