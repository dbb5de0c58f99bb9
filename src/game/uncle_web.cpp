// The uncle on the web edge: the lit, textured sphere, then its rays added to the frame
// without writing depth, culled as the last object before them left the culling.
#include "content/scene.h"
#include "game/uncle.h"

extern "C" {
void korva_draw_mesh(int32_t buffer, int32_t count, int lines, int textured, int32_t cull,
                     const float* world, const float* view);
void korva_draw_rays(const RayVertex* vertices, int32_t count, int32_t cull, const float* world,
                     const float* view);
}

void UploadUncle()
{
    UncleBuffer = NewMeshVertexBuffer(uint32_t(UncleVertexTotal));
    FillMeshVertexBuffer(UncleBuffer, UncleMesh, uint32_t(UncleVertexTotal));
}

void DrawUncle(double phi, float px, float py, float pz)
{
    Matrix4 identity, view, world;
    MatrixIdentity(identity);
    MatrixRigidInverse(view, identity);  // a camera at the origin looking along +z
    UncleWorldMatrix(world, phi, px, py, pz);
    LightPoint = UncleLightPoint(phi);
    // Every object of the game culls counter-clockwise triangles, and the device starts so.
    const int32_t cull = 1;
    korva_draw_mesh(int32_t(reinterpret_cast<intptr_t>(UncleBuffer)), UncleVertexTotal, 0, 1, cull,
                    world.m, view.m);
    RayVertex band[RayVerticesPerGroup];  // built per call, nothing allocated
    for (int32_t g = 0; g < RayGroupCount; ++g) {
        BuildRayGroup(&RayQuads[4 * g], LightPoint, band);
        korva_draw_rays(band, RayVerticesPerGroup, cull, world.m, view.m);
    }
}
