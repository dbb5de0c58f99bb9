// The uncle's sphere made, given to the device and drawn each frame through the
// platform operations; its pose is computed in uncle.cpp.
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

void UploadUncle()
{
    UncleBuffer = NewMeshVertexBuffer(uint32_t(UncleVertexTotal));
    FillMeshVertexBuffer(UncleBuffer, UncleMesh, uint32_t(UncleVertexTotal));
    OptimizeVertexBuffer(UncleBuffer);
}

void DrawUncle(double phi, float px, float py, float pz)
{
    static UnclePose pose;  // one thread draws at a time: the intro's, then the game's
    PoseUncle(pose, phi, px, py, pz);
    DrawUnclePose(pose);
}
