// The uncle on the web edge: the lit, textured sphere, then its rays added to the frame
// without writing depth, culled as the last object before them left the culling.
#include "game/uncle.h"
#include "web/web.h"

void DrawUnclePose(const UnclePose& pose)
{
    // Every object of the game culls counter-clockwise triangles, and the device starts so.
    const int32_t cull = 1;
    korva_draw_mesh(BufferId(UncleBuffer), UncleVertexTotal, 0, 1, cull,
                    pose.world.m, pose.view.m);
    for (int32_t g = 0; g < RayGroupCount; ++g)
        korva_draw_rays(pose.rays[g], RayVerticesPerGroup, cull, pose.world.m, pose.view.m);
}
