#pragma once

#include "MeshBuilder.h"

// Builders of the scene's stonework, each at its final size standing on
// y = 0 (y up). Texture names are relative to the model file.

// Six columns on a stepped base under a beam, 23 units long along x, about
// 2.6 deep (z from -1.3 to 1.3) and 7.05 tall; columns at x = -10, -6, -2,
// 2, 6, 10.
void buildColonnade(MeshBuilder& mesh);
// A gateway in the xy plane: 6.4 units wide (x from -3.2 to 3.2), 1.6 deep,
// 6.95 tall, with a round-headed opening 3 wide and 5.1 high.
void buildArch(MeshBuilder& mesh);
// A plinth for the turning knot: 1.9 units square at the top, 1.8 tall.
void buildPedestal(MeshBuilder& mesh);
// A round fountain basin, 3.8 units across and 0.7 tall, with water at
// 0.55 and a spout whose top is at 0.95, just below the fountain emitter.
void buildFountain(MeshBuilder& mesh);
