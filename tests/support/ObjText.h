#pragma once

#include "TempDir.h"

#include <glm/glm.hpp>
#include <stb_image_write.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

// Hand-written OBJ text for scenes in process and end to end. Faces wind
// counter-clockwise seen from the side their normal points to; uv runs 0..1.

// A quad of 2 halfU x 2 halfV about `centre`, spanned by the unit vectors u
// and v (normal u x v), as vertices `next`... of the file.
inline void appendQuad(std::ostringstream& out, int& next, const glm::vec3& centre, const glm::vec3& u,
                       const glm::vec3& v, float halfU, float halfV)
{
    const glm::vec3 n = glm::cross(u, v);
    const float s[4] = {-1, 1, 1, -1}, t[4] = {-1, -1, 1, 1};
    for (int i = 0; i < 4; ++i) {
        const glm::vec3 p = centre + s[i] * halfU * u + t[i] * halfV * v;
        // OBJ's v runs upwards; the importer flips it to image rows.
        out << "v " << p.x << ' ' << p.y << ' ' << p.z << "\nvt " << (s[i] + 1) / 2 << ' ' << (1 - t[i]) / 2
            << "\nvn " << n.x << ' ' << n.y << ' ' << n.z << '\n';
    }
    const auto c = [&](int i) { return std::to_string(next + i) + "/" + std::to_string(next + i) + "/" + std::to_string(next + i); };
    out << "f " << c(0) << ' ' << c(1) << ' ' << c(2) << "\nf " << c(0) << ' ' << c(2) << ' ' << c(3) << '\n';
    next += 4;
}

// A floor of 2 half x 2 half at y = 0 facing up, cut into `cells` x `cells`
// quads so that light evaluated per vertex still resolves pools and cone
// edges a unit across.
inline std::string floorObj(float half, int cells = 100)
{
    std::ostringstream out;
    int next = 1;
    const float step = 2 * half / cells;
    for (int row = 0; row < cells; ++row)
        for (int column = 0; column < cells; ++column)
            appendQuad(out, next, glm::vec3(-half + (column + 0.5f) * step, 0, -half + (row + 0.5f) * step),
                       glm::vec3(1, 0, 0), glm::vec3(0, 0, -1), step / 2, step / 2);
    return out.str();
}

// An axis-aligned box of 2 half.x x 2 half.y x 2 half.z about `centre`,
// normals outwards.
inline std::string boxObj(const glm::vec3& half, const glm::vec3& centre = glm::vec3(0.0f))
{
    std::ostringstream out;
    int next = 1;
    const glm::vec3 x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
    appendQuad(out, next, centre + half.x * x, -z, y, half.z, half.y);
    appendQuad(out, next, centre - half.x * x, z, y, half.z, half.y);
    appendQuad(out, next, centre + half.y * y, x, -z, half.x, half.z);
    appendQuad(out, next, centre - half.y * y, x, z, half.x, half.z);
    appendQuad(out, next, centre + half.z * z, x, y, half.x, half.y);
    appendQuad(out, next, centre - half.z * z, -x, y, half.x, half.y);
    return out.str();
}

inline std::string commaList(const glm::vec3& v)
{
    return std::to_string(v.x) + "," + std::to_string(v.y) + "," + std::to_string(v.z);
}

// The repository laid out in `dir` with a scene for whole-frame checks: a
// backdrop of 2 halfU x 2 halfV about (0, 2, -3) facing +z, textured with
// 64 x 64 texels texel(x, y) (y down), under white ambient light 1; the
// shipped glass ball at `glass`; `extra` sections. The camera path glides
// the eye from `from` to `to` in `seconds`, looking at (0, 2, 0).
inline void writeBackdropScene(const TempDir& dir, const std::function<glm::u8vec3(int, int)>& texel, float halfU,
                               float halfV, const glm::vec3& glass, const std::string& extra, const glm::vec3& from,
                               const glm::vec3& to, int seconds)
{
    dir.layOutRepository();
    std::vector<glm::u8vec3> texels;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            texels.push_back(texel(x, y));
    stbi_write_png(dir.file("backdrop.png").c_str(), 64, 64, 3, texels.data(), 64 * 3);
    dir.write("backdrop.mtl", "newmtl backdrop\nmap_Kd backdrop.png\n");
    std::ostringstream quad;
    int next = 1;
    quad << "mtllib backdrop.mtl\nusemtl backdrop\n";
    appendQuad(quad, next, glm::vec3(0, 2, -3), glm::vec3(1, 0, 0), glm::vec3(0, 1, 0), halfU, halfV);
    dir.write("backdrop.obj", quad.str());
    dir.write("assets/scene.txt", "$ ambient 2\nambientStrength 0 1\nambientColor 0 1,1,1\n$ backdrop 0\npath 0 " +
                                      dir.file("backdrop.obj") + "\n$ glass 0\npath 0 assets/models/glass_sphere.obj\n"
                                      "position 0 " + commaList(glass) + "\ntransparency 0 1\nrefraction 0 0.66\n" + extra);
    const std::string track = "transfer 0 0\nduration 1 " + std::to_string(seconds) + "\n";
    dir.write("assets/animationpath.txt", "$path eye 10\ndegree 0 1\n" + track + "position0 3 " + commaList(from) +
                                              "\nposition1 3 " + commaList(to) + "\n$path look 11\ndegree 0 0\n" +
                                              track + "position0 3 0,2,0\n");
}
