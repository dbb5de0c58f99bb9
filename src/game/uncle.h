#pragma once
// FAT uncle BOB: the large textured, lit sphere and its 20 fans of additive light rays.
// Drawing them is the platform's (UploadUncle, DrawUncle).
#include "app/platform.h"
#include "content/mesh.h"
#include "game/uncle_geometry.h"

extern MeshVertex* UncleMesh;
extern int32_t UncleVertexTotal;
extern VertexBuffer* UncleBuffer;

void BuildUncle();
