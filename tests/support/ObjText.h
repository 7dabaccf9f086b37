#pragma once

#include <glm/glm.hpp>

#include <sstream>
#include <string>

// Hand-written OBJ text for scene and lighting tests, in process and end to
// end. Faces wind counter-clockwise seen from the side their normal points
// to.

// One quad of 2 halfU x 2 halfV about `centre`, spanned by the unit vectors
// u and v (normal u x v), with uv running 0..1 along u and v.
inline void appendQuad(std::ostringstream& out, int& next, const glm::vec3& centre, const glm::vec3& u,
                       const glm::vec3& v, float halfU, float halfV, bool withNormals)
{
    const glm::vec3 n = glm::cross(u, v);
    const glm::vec3 corners[4] = {centre - halfU * u - halfV * v, centre + halfU * u - halfV * v,
                                  centre + halfU * u + halfV * v, centre - halfU * u + halfV * v};
    const float uvs[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 4; ++i) {
        out << "v " << corners[i].x << ' ' << corners[i].y << ' ' << corners[i].z << '\n';
        // OBJ's v runs upwards; the importer flips it to image rows.
        out << "vt " << uvs[i][0] << ' ' << 1.0f - uvs[i][1] << '\n';
        if (withNormals)
            out << "vn " << n.x << ' ' << n.y << ' ' << n.z << '\n';
    }
    auto corner = [&](int i) {
        std::string s = std::to_string(next + i) + "/" + std::to_string(next + i);
        return withNormals ? s + "/" + std::to_string(next + i) : s;
    };
    out << "f " << corner(0) << ' ' << corner(1) << ' ' << corner(2) << '\n';
    out << "f " << corner(0) << ' ' << corner(2) << ' ' << corner(3) << '\n';
    next += 4;
}

// A floor of 2 half x 2 half at height y, facing up; u runs along +x. It is
// cut into `cells` x `cells` squares, because the lit pass lights vertices:
// 100 cells make 0.2-unit squares on the usual 20-unit floor, fine enough
// for light pools and cone edges a unit across.
inline std::string floorObj(float half, float y = 0.0f, const std::string& material = "",
                            bool withNormals = true, int cells = 100)
{
    std::ostringstream out;
    if (!material.empty())
        out << "mtllib floor.mtl\nusemtl " << material << '\n';
    for (int row = 0; row <= cells; ++row) {
        for (int column = 0; column <= cells; ++column) {
            const float s = static_cast<float>(column) / static_cast<float>(cells);
            const float t = static_cast<float>(row) / static_cast<float>(cells);
            out << "v " << (2.0f * s - 1.0f) * half << ' ' << y << ' ' << (1.0f - 2.0f * t) * half << '\n';
            // OBJ's v runs upwards; the importer flips it to image rows.
            out << "vt " << s << ' ' << 1.0f - t << '\n';
        }
    }
    if (withNormals)
        out << "vn 0 1 0\n";
    const auto corner = [&](int row, int column) {
        const std::string index = std::to_string(row * (cells + 1) + column + 1);
        return withNormals ? index + "/" + index + "/1" : index + "/" + index;
    };
    // Counter-clockwise seen from above: +x, then -z.
    for (int row = 0; row < cells; ++row) {
        for (int column = 0; column < cells; ++column) {
            out << "f " << corner(row, column) << ' ' << corner(row, column + 1) << ' ' << corner(row + 1, column + 1)
                << '\n';
            out << "f " << corner(row, column) << ' ' << corner(row + 1, column + 1) << ' ' << corner(row + 1, column)
                << '\n';
        }
    }
    return out.str();
}

// An axis-aligned box of 2 half.x x 2 half.y x 2 half.z about `centre`,
// normals outwards. Faces in the order +x, -x, +y, -y, +z, -z.
inline std::string boxObj(const glm::vec3& half, const glm::vec3& centre = glm::vec3(0.0f))
{
    std::ostringstream out;
    int next = 1;
    const glm::vec3 x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
    appendQuad(out, next, centre + half.x * x, -z, y, half.z, half.y, true);
    appendQuad(out, next, centre - half.x * x, z, y, half.z, half.y, true);
    appendQuad(out, next, centre + half.y * y, x, -z, half.x, half.z, true);
    appendQuad(out, next, centre - half.y * y, x, z, half.x, half.z, true);
    appendQuad(out, next, centre + half.z * z, x, y, half.x, half.y, true);
    appendQuad(out, next, centre - half.z * z, -x, y, half.x, half.y, true);
    return out.str();
}
