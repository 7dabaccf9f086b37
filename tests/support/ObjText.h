#pragma once

#include <glm/glm.hpp>

#include <sstream>
#include <string>

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
