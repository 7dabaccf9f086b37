#pragma once

#include "MeshBuilder.h"

// The Utah teapot (Martin Newell, 1975), rebuilt from its bicubic Bézier
// patches: rim, body, lid and bottom as quarter patches turned four times
// about the vertical axis, handle and spout as half patches mirrored across
// their plane of symmetry. The original data is z-up, 3.15 units tall, spout
// towards +x; the model is turned y-up (spout still towards +x), scaled by
// `scale`, and stands on y = 0 with its body centred on the y axis.
class TeapotBuilder {
public:
    // `subdivisions` quads along each edge of each patch.
    static void build(MeshBuilder& mesh, float scale, int subdivisions);
};
