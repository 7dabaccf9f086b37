// velmora-view FILE... [--png OUT] [--rotation X,Y,Z]: the viewer's own
// start-up and frame loop on a scene made for the given model files.
#include "ViewOptions.h"
#include "ViewScene.h"

#include "app/Viewer.h"

#include <GLFW/glfw3.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The viewer reads shader/ and assets/skybox/ relative to its working
// directory: the first folder that has them of the working directory, the
// one above the program's (the build folder's parent) and the source tree it
// was built from.
std::string dataFolder()
{
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    for (const fs::path& candidate : {fs::current_path(error), program.parent_path().parent_path(),
                                      fs::path(VELMORA_SOURCE_DIR)})
        if (!candidate.empty() && fs::is_regular_file(candidate / "shader/simpletextured.vert", error) &&
            fs::is_directory(candidate / "assets/skybox/mnight", error))
            return candidate.string();
    return std::string();
}

} // namespace

int main(int argc, char** argv)
{
    ViewOptions options;
    std::string error;
    if (!ViewOptions::parse(argc, argv, options, error)) {
        std::cerr << "velmora-view: " << error << "; " << ViewOptions::usage() << std::endl;
        return 2;
    }
    if (options.help) {
        std::cout << ViewOptions::usage() << std::endl;
        return 0;
    }

    // Paths are taken from where the program was started: it then works in
    // the data folder, and F12 writes its pictures back here.
    const std::string startFolder = fs::current_path().string();
    std::vector<std::string> readable;
    for (const std::string& file : options.files) {
        if (!std::ifstream(file)) {
            std::cerr << "velmora-view: cannot read " << file << ": " << std::strerror(errno) << std::endl;
            continue;
        }
        readable.push_back(fs::absolute(file).string());
    }
    if (readable.empty())
        return 1;
    if (!options.png.empty())
        options.png = fs::absolute(options.png).string();

    const std::string data = dataFolder();
    if (data.empty() || chdir(data.c_str()) != 0) {
        std::cerr << "velmora-view: cannot find the viewer's shader/ and assets/ folders" << std::endl;
        return 1;
    }

    ViewScene viewScene(readable, options.rotation);
    bool built = true;
    Viewer viewer;
    viewer.setScreenshotFolder(startFolder);
    viewer.setSceneBuilder([&](Scene& scene, Camera& camera) { return built = viewScene.build(scene, camera); },
                           [&](Scene& scene) { viewScene.prefetch(scene); });
    try {
        if (!viewer.startUp())
            return built ? -1 : 1;
    } catch (const std::exception& failure) {
        std::cerr << "velmora-view: " << failure.what() << std::endl;
        glfwTerminate();
        return 1;
    }

    // The lit pass uses the shadow map of the frame before: made here, the
    // first frame already shows its shadow.
    viewer.renderShadows();
    if (!options.png.empty()) {
        // The orbit's first view: the clock stands at 0 for this frame.
        glfwSetTime(0.0);
        viewer.renderFrame();
        const bool written = viewer.writeFrame(options.png);
        viewer.present();
        viewer.shutDown();
        if (!written) {
            std::cerr << "velmora-view: cannot write " << options.png << std::endl;
            return 1;
        }
        return 0;
    }
    while (!viewer.shouldClose())
        viewer.runFrame();
    viewer.shutDown();
    return 0;
}
