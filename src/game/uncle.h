#pragma once
// FAT uncle BOB: the large textured, lit sphere and its 20 fans of additive light rays.
#include "content/mesh.h"
#include "game/uncle_geometry.h"
#include "render/display.h"

extern MeshVertex* UncleMesh;
extern int32_t UncleVertexTotal;
extern IDirect3DVertexBuffer7* UncleBuffer;
extern IDirectDrawSurface7* UncleTexture;

void BuildUncle();
void UploadUncle();
// Inside a scene: the sphere at (px, py, pz) turned by phi, and its rays.
void DrawUncle(double phi, float px, float py, float pz);
