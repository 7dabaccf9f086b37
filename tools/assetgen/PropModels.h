#pragma once

#include "MeshBuilder.h"

// Builders of the scene's props, each at its final size in its own frame
// (y up). Texture names are relative to the model file ("textures/...").

// The ground: 120 x 120 units on y = 0 centred on the origin, so that its
// edge lies close to the horizon from the tour: grass in 4-unit tiles round
// a paved plaza of |x|, |z| <= 12 in 2-unit tiles of two stone patterns.
void buildGround(MeshBuilder& mesh);
// A 1.2-unit wooden crate standing on y = 0, centred on the y axis.
void buildCrate(MeshBuilder& mesh);
// A sphere of radius 1.2 centred on the origin (glass).
void buildGlassSphere(MeshBuilder& mesh);
// A (2, 3) torus knot in the xy plane, centred on the origin so that it
// turns in place about y: 3.6 units across, 1.4 deep.
void buildTorusKnot(MeshBuilder& mesh);
// The Utah teapot in glass, 2.2 units tall, standing on y = 0.
void buildGlassTeapot(MeshBuilder& mesh);
