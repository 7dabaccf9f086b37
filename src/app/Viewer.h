#pragma once

#include "scene/Scene.h"

#include <GL/glew.h>
#include <glm/glm.hpp>

#include <functional>
#include <memory>
#include <string>

struct GLFWwindow;
class Camera;
class FrameCapture;
class FrameProfiler;
class ParticleSystem;
class PostProcFramebuffer;
class ProgramVariants;
class RefractionCaptures;
class Shader;
class Skybox;

// The viewer's run: window and context, start-up of every render resource,
// the frame loop's passes in their fixed order, and shutdown.
//
// Passes of a frame: the three glass captures, the lit pass (opaque models
// without their AlphaBlend meshes), the shadow pass, the sky, the AlphaBlend
// meshes of opaque models (sorted back to front, see Scene::drawBlended),
// the particles, the shadow map's debug view, then the composite.
//
// runViewer() is the whole program. Tests and tools drive the same code in
// process: startUp(), then per frame glfwSetTime(t) for a clock they control,
// renderFrame() (the picture is in the back buffer) and present().
class Viewer {
public:
    // The window the viewer opens. The program always uses the defaults;
    // tests may ask for a small windowed run of the same frame.
    struct WindowOptions {
        int width = 1920;
        int height = 1080;
        bool fullScreen = true;
    };

    // Fills the scene and gives the camera its path in place of the two data
    // files: called once by startUp() where it would read them, with the
    // context current and the camera made without a path. It prints why when
    // it returns false, and startUp() then fails.
    using SceneBuilder = std::function<bool(Scene& scene, Camera& camera)>;

    Viewer();
    ~Viewer();
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    // Opens the full-screen 4.3 core window and builds everything, reading
    // shader/ and assets/ relative to the working directory. The scene's
    // model files start importing first, before the window exists; what
    // does not depend on the models is built while they import, the models
    // and the programs their materials need after. On failure it
    // prints one line, calls glfwTerminate and returns false. Conversion
    // errors of the data files propagate as std::exception.
    bool startUp();
    bool startUp(const WindowOptions& options);
    // Frame steps up to the composite; the frame is then in the back buffer.
    void renderFrame();
    // Swap buffers and poll events (the input callbacks run here).
    void present();
    void runFrame() { renderFrame(); present(); }
    bool shouldClose() const;
    // glfwTerminate first; then the objects are released without GL calls.
    void shutDown();

    // Called by startUp() before the window exists, with no context: a
    // builder may start its imports here (Scene::prepare) and finish them
    // in the builder, so that they overlap the viewer's GL set-up.
    using ScenePrefetch = std::function<void(Scene& scene)>;

    // Before startUp(): the scene and path come from `builder` instead of
    // "assets/scene.txt" and "assets/animationpath.txt".
    void setSceneBuilder(SceneBuilder builder, ScenePrefetch prefetch = ScenePrefetch())
    {
        sceneBuilder = std::move(builder);
        scenePrefetch = std::move(prefetch);
    }
    // Where F12 writes velmora-NNNN.png: the working directory by default.
    void setScreenshotFolder(const std::string& folder) { screenshotFolder = folder; }
    // The shadow pass alone, as a frame runs it: the next frame's lit pass
    // then has the shadow the first frame would otherwise lack.
    void renderShadows();
    // Writes the back buffer (the frame renderFrame() finished, before
    // present() shows it) as an RGB PNG; false when the file cannot be
    // written.
    bool writeFrame(const std::string& path);

    void setProfiler(FrameProfiler* value) { profiler = value; }
    GLFWwindow* getWindow() const { return window; }
    Scene& getScene() { return scene; }

    // glm::perspective(45 degrees, width / height, 0.1, 200).
    static glm::mat4 makeProjection(int width, int height);

private:
    void composite();
    // The next free "velmora-NNNN.png" (0001 to 9999) in the screenshot
    // folder, made empty so no other run takes it; empty with `why` set when
    // none can be made.
    std::string claimScreenshotName(std::string& why) const;

    SceneBuilder sceneBuilder;
    ScenePrefetch scenePrefetch;
    std::string screenshotFolder;
    std::unique_ptr<FrameCapture> capture;
    GLFWwindow* window = nullptr;
    FrameProfiler* profiler = nullptr;
    // The lit-scene program's variants (see ProgramVariants).
    std::unique_ptr<ProgramVariants> litPrograms;
    std::shared_ptr<Shader> skyboxShader;
    std::unique_ptr<Skybox> skybox;
    std::unique_ptr<ParticleSystem> particles;
    glm::mat4 projection{1.0f};
    glm::mat4 inverseProjection{1.0f};
    Scene scene;
    std::shared_ptr<Shader> postProcessingShader;
    std::shared_ptr<PostProcFramebuffer> postProcessingTarget;
    std::unique_ptr<RefractionCaptures> captures;
};

// The program: start-up, frame loop until the window closes, shutdown.
// Returns 0, -1 when the window or context cannot be made, 1 when a data
// file holds a malformed number.
int runViewer();
