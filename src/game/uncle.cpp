#include "game/uncle.h"

MeshVertex* UncleMesh = nullptr;
int32_t UncleVertexTotal = 0;
VertexBuffer* UncleBuffer = nullptr;

void BuildUncle()
{
    UncleMesh = BuildSphere(3, &UncleVertexTotal, 1.0f);
    if (!UncleMesh)
        FatalError("Out of memory while building the sphere.");
    BuildRayQuads();  // continues the random sequence the texture script left
}
