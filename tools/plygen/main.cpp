// velmora-plygen OUT TRIANGLES [normals]: writes a bumpy sphere as a binary
// little-endian PLY of about TRIANGLES triangles (float x, y, z, with
// nx, ny, nz when "normals" is given; faces as uchar count + int indices),
// the kind of large scanned mesh the start-up figures are measured on.
#include <glm/glm.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: velmora-plygen OUT TRIANGLES [normals]\n");
        return 2;
    }
    const double wanted = std::atof(argv[2]);
    const bool normals = argc > 3 && std::string(argv[3]) == "normals";
    // rings x (2 rings) quads, two triangles each.
    const int rings = std::max(2, static_cast<int>(std::lround(std::sqrt(wanted / 4.0))));
    const int segments = 2 * rings;
    const float pi = 3.14159265f;
    std::vector<glm::vec3> positions;
    positions.reserve(static_cast<std::size_t>(rings + 1) * (segments + 1));
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s <= segments; ++s) {
            const float theta = pi * r / rings, phi = 2.0f * pi * s / segments;
            const float radius = 1.0f + 0.04f * std::sin(12.0f * theta) * std::sin(12.0f * phi);
            positions.emplace_back(radius * std::sin(theta) * std::cos(phi), radius * std::cos(theta),
                                   radius * std::sin(theta) * std::sin(phi));
        }
    std::vector<std::uint32_t> faces;
    faces.reserve(static_cast<std::size_t>(rings) * segments * 6);
    const auto at = [segments](int r, int s) { return static_cast<std::uint32_t>(r * (segments + 1) + s); };
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            // Counter-clockwise seen from outside.
            faces.insert(faces.end(), {at(r, s), at(r, s + 1), at(r + 1, s)});
            faces.insert(faces.end(), {at(r, s + 1), at(r + 1, s + 1), at(r + 1, s)});
        }
    std::vector<glm::vec3> vertexNormals;
    if (normals) {
        vertexNormals.assign(positions.size(), glm::vec3(0.0f));
        for (std::size_t i = 0; i < faces.size(); i += 3) {
            const glm::vec3 n = glm::cross(positions[faces[i + 1]] - positions[faces[i]],
                                           positions[faces[i + 2]] - positions[faces[i]]);
            for (int k = 0; k < 3; ++k)
                vertexNormals[faces[i + k]] += n;
        }
        for (glm::vec3& n : vertexNormals)
            n = glm::dot(n, n) > 0.0f ? glm::normalize(n) : glm::vec3(0, 1, 0);
    }
    FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out, "ply\nformat binary_little_endian 1.0\nelement vertex %zu\n"
                      "property float x\nproperty float y\nproperty float z\n%s"
                      "element face %zu\nproperty list uchar int vertex_indices\nend_header\n",
                 positions.size(), normals ? "property float nx\nproperty float ny\nproperty float nz\n" : "",
                 faces.size() / 3);
    for (std::size_t v = 0; v < positions.size(); ++v) {
        std::fwrite(&positions[v], sizeof(float), 3, out);
        if (normals)
            std::fwrite(&vertexNormals[v], sizeof(float), 3, out);
    }
    for (std::size_t i = 0; i < faces.size(); i += 3) {
        const unsigned char three = 3;
        std::fwrite(&three, 1, 1, out);
        std::fwrite(&faces[i], sizeof(std::uint32_t), 3, out);
    }
    std::printf("%s: %zu vertices, %zu triangles%s\n", argv[1], positions.size(), faces.size() / 3,
                normals ? ", with normals" : "");
    return std::fclose(out) == 0 ? 0 : 1;
}
