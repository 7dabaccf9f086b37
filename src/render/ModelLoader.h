#pragma once

#include "import/ImportProcess.h"
#include "import/MappedModel.h"
#include "render/Mesh.h"

#include <GL/glew.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class Model;

// Imports model files into Models: each file is read by an ImportProcess (a
// child process, so that no file can end the viewer), and its meshes and
// textures are made here, in the viewer, with the GL context current.
//
// Owns: the import processes started by prefetch() (killed if unfinished);
// one 1x1 texture per distinct material colour, white included, shared by
// the meshes of every model it loads; and one texture per image file or
// embedded image, uploaded once however many meshes and models of the scene
// use it (textures are never deleted). The images come decoded from the
// import process: the viewer never parses a model's files itself.
// Use:  one loader per scene load; optionally prefetch() the paths of the
//       whole scene, then loadModel() once per model file, in that order.
//       Textures are resolved against the model file's directory.
class ModelLoader {
public:
    // Never returns null. A file that cannot be imported prints one line
    // "ERROR::ASSIMP:: <why>" on stderr and gives a model without meshes.
    std::shared_ptr<Model> loadModel(std::string path);
    // The model files loadModel() will be asked for, in that order. Two
    // child processes start importing them at once, each file once, taking
    // the files in turn, ahead of the viewer making the models.
    void prefetch(const std::vector<std::string>& paths);

    // Where each model file loaded in this process spent its start-up time,
    // in ms (see ImportProcess::Timings; upload: making its meshes and
    // textures), with its triangle count. Appended by every loadModel() that
    // imported a file; read by the benchmark.
    struct LoadRecord {
        std::string path;
        double readMs = 0.0;
        double convertMs = 0.0;
        double handOverMs = 0.0;
        double uploadMs = 0.0;
        std::size_t triangles = 0;
        // The import process's peak resident memory up to this file, KiB.
        double childPeakKiB = 0.0;
    };
    static std::vector<LoadRecord>& loadRecords();

private:
    // A decoded image: its texture (0 when it could not be decoded, the
    // failure printed once) and what its texels hold.
    struct LoadedImage {
        GLuint id = 0;
        bool translucent = false;
        bool normalMap = false;
    };

    // The mesh with its material's textures, the features that hang on the
    // decoded images settled.
    std::shared_ptr<Mesh> makeMesh(const MappedMesh& mesh, const MappedModel& model);
    // The image a material names, from the cache or uploaded now.
    const LoadedImage& loadImage(const TextureReference& reference, const MappedModel& model);
    GLuint colorTexture(const std::array<unsigned char, 4>& rgba);
    std::string path;
    // Import the announced files, each once, dealt in turn. Two: on a
    // 2-core machine four 0.5M-triangle files took 1.81-1.84 s with one
    // process and 1.05-1.30 s with two, while the viewer waits on the first
    // the second reads on. Each has its own memory limit.
    std::array<ImportProcess, 2> batches;
    // How often each announced path is still to be loaded, and the result
    // of a file named again later (its hand-over memory, kept mapped until
    // the last model made from it), so that it is imported only once.
    std::map<std::string, int> remaining;
    std::map<std::string, std::shared_ptr<const MappedModel>> repeats;
    std::map<std::uint32_t, GLuint> colorTextures;
    // Images by the file they were decoded from (index -1), or by model
    // path and index for the images a model file embeds.
    std::map<std::pair<std::string, int>, LoadedImage> images;
};
