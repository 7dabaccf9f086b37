#pragma once

#include <filesystem>
#include <string>

// A scratch folder laid out like the repository whose "assets/scene.txt"
// holds `copies` copies of a source scene: every model and light section is
// repeated with its "position" moved by a grid offset, while the ambient
// light and sections of other kinds stay single. shader/ and every other
// entry of assets/ are symbolic links into the source folder.
//
// Copy 0 is the source scene unchanged. Copy c > 0 has its sections named
// "<name>#cc" (a name that sorts right after the original, so the first
// spot light of the source stays the first one and keeps casting the
// shadow) and sits at (column, 0, row) * spacing on a square grid of
// ceil(sqrt(copies)) columns.
//
// The folder and its links are removed on destruction (the source is not
// touched). Throws std::runtime_error when the source has no scene file or
// the folder cannot be made.
class ScaledScene {
public:
    // The shipped ground is 120 units square: copies this far apart tile it
    // without overlap.
    static constexpr float defaultSpacing = 120.0f;

    ScaledScene(const std::string& sourceRoot, int copies, float spacing = defaultSpacing);
    ~ScaledScene();
    ScaledScene(const ScaledScene&) = delete;
    ScaledScene& operator=(const ScaledScene&) = delete;

    const std::string& path() const { return root; }

    // The text transformation alone. Lines keep their text apart from the
    // copies' header names and positions; a position that is no vector of
    // three numbers is copied unchanged. Throws std::runtime_error when a
    // copy's name would clash with a section name of the source.
    static std::string scaleText(const std::string& sceneText, int copies, float spacing);

private:
    void populate(const std::filesystem::path& source, const std::string& sceneText);

    std::string root;
};
