#pragma once

#include "scene/Lights.h"

#include <glm/glm.hpp>

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class Mesh;
class Model;
class ModelLoader;
class ProgramVariants;
class Shader;
struct ConfigSection;

// The loaded scene: models, point and spot lights (each list in the order of
// its sections' names) and one ambient light (strength 0, black by default).
//
// Owns: its light lists and shares its models with the passes that draw them.
// Use:  load() once with the context current; update() once per frame; then
//       draw() in each pass. Afterwards only the models' angles move.
class Scene {
public:
    // A particle emitter's place, from the optional ambient-section keys
    // "fountain" and "burst": a point "x,y,z", or "off" to switch it off.
    struct Emitter {
        bool enabled = true;
        glm::vec3 point{0.0f};
    };

    Scene();
    ~Scene();
    Scene(Scene&&) noexcept;
    Scene& operator=(Scene&&) noexcept;

    // Reads the scene file and imports every model it names. A missing file
    // leaves the scene empty. A malformed number raises std::invalid_argument
    // or std::out_of_range whose what() names the file, section, key and text.
    void load(std::string path);
    // The same for sections already in memory; `source` names them in the
    // conversion errors. Models and lights are appended to those of an
    // earlier call; an ambient section overwrites the ambient light and the
    // emitters.
    void add(const std::map<std::string, ConfigSection>& sections, const std::string& source);
    // load() and add() in two steps, so that the model files import while
    // the viewer sets up everything else: prepare() reads the file (or takes
    // the sections) and starts the import processes on the model files,
    // without OpenGL; finish(), with the context current, makes the models
    // and lights of everything prepared, in order, exactly as load() and
    // add() would (their lines, their errors).
    void prepare(std::string path);
    void prepare(const std::map<std::string, ConfigSection>& sections, const std::string& source);
    void finish();
    // Turns the turning models by their speed times `deltaTime` (seconds).
    void update(float deltaTime);

    // Sends the light uniforms to `shader` (which the caller has made current),
    // then draws every model whose transparency class equals
    // `transparentPass`, in list order, all with that one program.
    void draw(std::shared_ptr<Shader> shader, bool transparentPass);
    // The same with each mesh drawn by the variant of `programs` its
    // material needs: the lights go to every variant built (the caller sets
    // the pass's matrices on each first). In an opaque pass the AlphaBlend
    // meshes of opaque models are left for drawBlended().
    void draw(ProgramVariants& programs, bool transparentPass);
    // The AlphaBlend meshes of the opaque models, after everything opaque
    // and the sky (which fills only where depth is still clear) and before
    // the particles, into the same target: sorted back to front by the
    // distance from the camera to each mesh's bounds centre in world space,
    // blended (SRC_ALPHA, ONE_MINUS_SRC_ALPHA), depth-tested without depth
    // writes. Uses the uniforms `programs` kept from the lit pass and the
    // shadow hand-over; leaves blending off and depth writes on. Sets
    // nothing when no such mesh exists.
    void drawBlended(ProgramVariants& programs, const glm::mat4& view);
    // Sets the light uniforms on `shader` (made current by the caller).
    void setLights(Shader& shader);

    std::vector<std::shared_ptr<Model>>& getModels() { return models; }
    std::vector<SpotLight>& getSpotLights() { return spotLights; }
    std::vector<PointLight>& getPointLights() { return pointLights; }
    float getAmbientStrength() const { return ambientStrength; }
    const glm::vec3& getAmbientColor() const { return ambientColor; }
    // Fountain at (-6, 1, 2) and bursts about (5, 25, 5) unless the last
    // ambient section (by name) places them or switches them off.
    const Emitter& getFountain() const { return fountain; }
    const Emitter& getBurst() const { return burst; }

private:
    // One section: kind 1 light, 0 model, 2 ambient; any other kind and a
    // light type other than 0 and 1 add nothing.
    void loadSection(const ConfigSection& section, ModelLoader& loader);

    struct LightUniformNames {
        std::string position, color, direction, innerRadius, outerRadius;
    };
    static const std::vector<LightUniformNames>& uniformNames(std::vector<LightUniformNames>& table, const char* array,
                                                              std::size_t count);

    std::vector<PointLight> pointLights;
    std::vector<SpotLight> spotLights;
    std::vector<std::shared_ptr<Model>> models;
    float ambientStrength = 0.0f;
    glm::vec3 ambientColor{0.0f};
    Emitter fountain{true, glm::vec3(-6.0f, 1.0f, 2.0f)};
    Emitter burst{true, glm::vec3(5.0f, 25.0f, 5.0f)};
    // Sections prepared and not yet finished, each set with its loader.
    struct Pending;
    std::vector<Pending> pending;
    std::vector<LightUniformNames> pointLightNames;
    std::vector<LightUniformNames> spotLightNames;

    static glm::vec3 boundsCentre(const Mesh& mesh);
    struct BlendedMesh {
        float distance;
        Model* model;
        Mesh* mesh;
    };
    // Reused from frame to frame by drawBlended().
    std::vector<BlendedMesh> blended;
    // Model-space centre of each blended mesh's bounding box, found once.
    std::unordered_map<const Mesh*, glm::vec3> boundsCentres;
};
