#pragma once

#include <glm/glm.hpp>

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

    // Imports the files as the viewer does (one child process; a file that
    // cannot be imported prints its line and is left out) and places
    // everything from their bounds. False, after one line, when not one file
    // gave a triangle to show.
    bool build(Scene& scene, Camera& camera);

private:
    std::vector<std::string> files;
    glm::vec3 rotation;
};
