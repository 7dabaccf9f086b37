#include "app/Viewer.h"

#include "app/FrameCapture.h"
#include "app/FrameProfiler.h"
#include "app/Globals.h"
#include "app/InputCallbacks.h"
#include "camera/Camera.h"
#include "effects/ParticleSystem.h"
#include "effects/PostProcFramebuffer.h"
#include "effects/RefractionCaptures.h"
#include "effects/ShadowMap.h"
#include "render/ProgramVariants.h"
#include "render/Shader.h"
#include "render/Skybox.h"

#include <GLFW/glfw3.h>
#include <glm/gtc/matrix_transform.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <iostream>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace {

// Brackets one pass for the profiler, when one is attached.
class PassScope {
public:
    PassScope(FrameProfiler* profiler, FrameProfiler::Pass pass)
        : profiler(profiler), pass(pass)
    {
        if (profiler)
            profiler->begin(pass);
    }
    ~PassScope()
    {
        if (profiler)
            profiler->end(pass);
    }
    PassScope(const PassScope&) = delete;
    PassScope& operator=(const PassScope&) = delete;

private:
    FrameProfiler* profiler;
    FrameProfiler::Pass pass;
};

// A software OpenGL driver (llvmpipe) allocates its binning memory for each
// pass and frees it after: with the allocator's defaults the freed top of
// the heap goes back to the system every time, and blocks above 128 KiB are
// mappings of their own, so every pass faults all that memory in again, page
// by page, which on a virtual machine costs a third of a dense model's
// first frame. Up to 256 MiB of freed memory is kept for reuse instead, and
// blocks up to 32 MiB come from the heap. The viewer's peak memory grows by
// what is kept (90 MiB with an 8M-triangle model in view).
void keepFreedMemoryForReuse()
{
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
}

} // namespace

Viewer::Viewer() = default;
Viewer::~Viewer() = default;

glm::mat4 Viewer::makeProjection(int width, int height)
{
    return glm::perspective(glm::radians(45.0f), static_cast<float>(width) / static_cast<float>(height), 0.1f,
                            200.0f);
}

bool Viewer::startUp() { return startUp(WindowOptions()); }

bool Viewer::startUp(const WindowOptions& options)
{
    keepFreedMemoryForReuse();
    resetGlobals();
    screenWidth = options.width;
    screenHeight = options.height;

    // First what needs no context: the camera's path, then the scene file,
    // whose model files start importing in child processes now, so that
    // they read and convert while the window, the sky, the particles, the
    // render targets and the fixed programs are made below. Forked before
    // the context exists, the children carry none of the driver's state.
    camera = std::make_unique<Camera>(glm::vec3(0.0f, 0.0f, -5.0f), glm::vec3(0.0f, 0.0f, 1.0f),
                                      glm::vec3(0.0f, 1.0f, 0.0f),
                                      sceneBuilder ? std::string() : std::string("assets/animationpath.txt"));
    projection = makeProjection(screenWidth, screenHeight);
    inverseProjection = glm::inverse(projection);
    const ScenePrefetch prefetch =
        sceneBuilder ? scenePrefetch : ScenePrefetch([](Scene& scene) { scene.prepare("assets/scene.txt"); });
    if (prefetch)
        prefetch(scene);

    glfwInit(); // a failure shows as a failed window below
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    window = glfwCreateWindow(screenWidth, screenHeight, "Velmora", options.fullScreen ? glfwGetPrimaryMonitor() : nullptr,
                              nullptr);
    if (!window) {
        std::cout << "Failed to open GLFW window" << std::endl;
        glfwTerminate();
        return false;
    }
    glfwMakeContextCurrent(window);

    glfwSetCursorPosCallback(window, cursorPosCallback);
    glfwSetScrollCallback(window, scrollCallback);
    glfwSetKeyCallback(window, keyCallback);

    glewExperimental = GL_TRUE;
    const GLenum glewStatus = glewInit();
    if (glewStatus != GLEW_OK || !GLEW_VERSION_4_3) {
        if (glewStatus != GLEW_OK)
            std::cout << "Failed to initialise GLEW: " << glewGetErrorString(glewStatus) << std::endl;
        else
            std::cout << "OpenGL 4.3 is required, the context offers "
                      << reinterpret_cast<const char*>(glGetString(GL_VERSION)) << std::endl;
        glfwTerminate();
        window = nullptr;
        return false;
    }
    // glewInit may leave GL_INVALID_ENUM pending on a core context; drop it so
    // the first shader does not report it as its own.
    while (glGetError() != GL_NO_ERROR) {
    }

    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glfwSetInputMode(window, GLFW_CURSOR, GLFW_CURSOR_DISABLED);
    // A key tapped between two polls still counts as pressed at the next
    // one, so Escape quits even when frames are slow.
    glfwSetInputMode(window, GLFW_STICKY_KEYS, GLFW_TRUE);

    skyboxShader = Shader::build("shader/skybox.vert", "shader/skybox.frag");
    skybox = std::make_unique<Skybox>();
    skybox->setShader(skyboxShader);

    particles = std::make_unique<ParticleSystem>();
    particles->setScale(scaleFactor);

    // The render targets and the programs that do not depend on the
    // models.
    shadowMap = std::make_unique<ShadowMap>();
    shadowMap->setScreenSize(screenWidth, screenHeight);

    postProcessingShader = Shader::build("shader/postprocessing.vert", "shader/postprocessing.frag");
    postProcessingTarget = std::make_shared<PostProcFramebuffer>(screenWidth, screenHeight, postProcessingShader);
    postProcessingShader->use();
    postProcessingShader->setMat4("inverseProjectionMatrix", inverseProjection);
    postProcessingShader->setFloat("Scale", scaleFactor);
    postProcessingShader->setMat4("projectionMatrix", projection);
    postProcessingShader->setMat4("inverseProjectionMatrix", inverseProjection);

    captures = std::make_unique<RefractionCaptures>(screenWidth, screenHeight);

    // The models, as their imports finish.
    if (!sceneBuilder) {
        scene.finish();
    } else if (!sceneBuilder(scene, *camera)) {
        glfwTerminate();
        window = nullptr;
        return false;
    }

    // Built for the scene's light counts (at most the program's array
    // sizes, 16 and 8), so the lit pass's light loops unroll (see the
    // program), and once per set of material features the opaque models'
    // meshes use.
    const std::size_t pointCount = std::min<std::size_t>(scene.getPointLights().size(), 16);
    const std::size_t spotCount = std::min<std::size_t>(scene.getSpotLights().size(), 8);
    litPrograms = std::make_unique<ProgramVariants>(
        ProgramVariants::Lit, "shader/simpletextured.vert", "shader/simpletextured.frag",
        "#define POINT_LIGHT_COUNT " + std::to_string(pointCount) + "\n#define SPOT_LIGHT_COUNT " +
            std::to_string(spotCount) + "\n");
    litPrograms->build(scene.getModels(), false);
    shadowMap->buildPrograms(scene.getModels());
    captures->buildPrograms(scene.getModels());
    return true;
}

bool Viewer::shouldClose() const { return !window || glfwWindowShouldClose(window); }

void Viewer::renderFrame()
{
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    const float now = static_cast<float>(glfwGetTime());
    deltaTime = now - lastFrame;
    lastFrame = now;

    pollKeys(window);
    camera->updateAnimation(deltaTime);
    scene.update(deltaTime);

    // Nothing moves the camera from here to the end of the frame, so one
    // view matrix serves every pass.
    const glm::mat4 view = camera->getViewMatrix();

    {
        PassScope scope(profiler, FrameProfiler::Captures);
        captures->render(scene, view, projection);
    }

    if (postProcessingEnabled) {
        postProcessingTarget->bindAndClear();
        // The lit scene, the sky and the particles write colour 0 only; with
        // the second attachment masked the rasteriser skips storing
        // undefined values into it. Undone after the particles, so every
        // clear and capture of the next frame writes both attachments.
        glColorMaski(1, GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    }

    postProcessingShader->use();
    postProcessingShader->setMat4("viewMatrix", view);
    postProcessingShader->setMat4("inverseViewMatrix", glm::inverse(view));

    {
        PassScope scope(profiler, FrameProfiler::LitPass);
        for (const auto& entry : litPrograms->getPrograms()) {
            entry.second->use();
            entry.second->setMat4("view", view);
            entry.second->setMat4("projection", projection);
        }
        // Opaque models; their AlphaBlend meshes wait for the sky.
        scene.draw(*litPrograms, false);
    }

    {
        // Runs after the lit pass: the lit pass of a frame uses the previous
        // frame's map. Leaves framebuffer 0 and the window viewport bound.
        PassScope scope(profiler, FrameProfiler::ShadowPass);
        renderShadows();
    }

    if (postProcessingEnabled)
        postProcessingTarget->bind();

    {
        PassScope scope(profiler, FrameProfiler::Sky);
        skybox->setMatrices(view, projection);
        skybox->draw();
    }

    // Blended meshes of opaque models: after the sky, which fills only where
    // depth is still clear and would otherwise paint over them, before the
    // particles, into the same target; they see this frame's shadow map.
    scene.drawBlended(*litPrograms, view);

    // With both emitters off no particle ever exists: the pass is skipped.
    if (scene.getFountain().enabled || scene.getBurst().enabled) {
        PassScope scope(profiler, FrameProfiler::Particles);
        glDisable(GL_CULL_FACE);
        if (scene.getFountain().enabled)
            particles->emitFountain(static_cast<double>(deltaTime), 1600.0f, scene.getFountain().point);
        if (scene.getBurst().enabled)
            particles->emitBurst(static_cast<double>(deltaTime), 32.0f, scene.getBurst().point);
        particles->update(static_cast<double>(deltaTime));
        particles->draw(view, projection);
        glEnable(GL_CULL_FACE);
    }

    shadowMap->drawDebug();
    postProcessingTarget->unbind();
    glColorMaski(1, GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    if (postProcessingEnabled) {
        PassScope scope(profiler, FrameProfiler::Composite);
        composite();
    }
}

void Viewer::composite()
{
    const std::shared_ptr<Shader> shader = postProcessingTarget->getShader();
    shader->use();
    captures->bindForComposite(shader);
    // Copies the lit scene to the window and shades the glass over it with
    // the quad, drawn with front faces culled (it is wound clockwise).
    captures->drawComposite(postProcessingTarget);
}

void Viewer::renderShadows()
{
    shadowMap->render(scene.getSpotLights(), scene.getModels());
    for (const auto& entry : litPrograms->getPrograms())
        shadowMap->setUniforms(entry.second);
    shadowMap->setUniforms(postProcessingShader);
}

bool Viewer::writeFrame(const std::string& path)
{
    if (!capture)
        capture = std::make_unique<FrameCapture>(screenWidth, screenHeight);
    capture->readBackBuffer();
    return capture->writePng(path);
}

std::string Viewer::claimScreenshotName(std::string& why) const
{
    why = "no free name velmora-0001.png to velmora-9999.png";
    const std::string folder = screenshotFolder.empty() ? std::string() : screenshotFolder + "/";
    for (int number = 1; number <= 9999; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "velmora-%04d.png", number);
        // Created exclusively: an existing file is never overwritten.
        const int fd = open((folder + name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd >= 0) {
            close(fd);
            return folder + name;
        }
        if (errno != EEXIST) {
            why = (folder.empty() ? std::string(".") : screenshotFolder) + ": " + std::strerror(errno);
            break;
        }
    }
    return std::string();
}

void Viewer::present()
{
    // F12 was seen in the previous poll: the frame in the back buffer is the
    // one this swap presents. It is read before the swap (the front buffer
    // of a double-buffered window need not be readable) and encoded after.
    std::string screenshot;
    if (screenshotRequested) {
        screenshotRequested = false;
        std::string why;
        screenshot = claimScreenshotName(why);
        if (screenshot.empty()) {
            std::cout << "Cannot save a screenshot: " << why << std::endl;
        } else {
            if (!capture)
                capture = std::make_unique<FrameCapture>(screenWidth, screenHeight);
            capture->readBackBuffer();
        }
    }
    {
        PassScope scope(profiler, FrameProfiler::Swap);
        glfwSwapBuffers(window);
        glfwPollEvents();
    }
    if (!screenshot.empty()) {
        if (capture->writePng(screenshot)) {
            std::cout << "Saved screenshot " << screenshot << std::endl;
        } else {
            std::cout << "Cannot write screenshot " << screenshot << std::endl;
            std::remove(screenshot.c_str());
        }
    }
    if (profiler)
        profiler->endFrame();
}

void Viewer::shutDown()
{
    // The context goes first, so no GL object is deleted explicitly; the
    // objects below release CPU memory only.
    glfwTerminate();
    window = nullptr;
    capture.reset();
    captures.reset();
    postProcessingTarget.reset();
    postProcessingShader.reset();
    scene = Scene();
    particles.reset();
    skybox.reset();
    skyboxShader.reset();
    litPrograms.reset();
}

int runViewer()
{
    Viewer viewer;
    try {
        if (!viewer.startUp())
            return -1;
    } catch (const std::exception& error) {
        // A malformed number in a data file: one line naming the file, the
        // place and the text, then a clean exit.
        std::cerr << "velmora: " << error.what() << std::endl;
        glfwTerminate();
        return 1;
    }
    while (!viewer.shouldClose())
        viewer.runFrame();
    viewer.shutDown();
    return 0;
}
