// The uncle on the Direct3D 7 device: the lit, textured sphere, then its rays added
// to the frame without writing depth.
#include "game/uncle.h"
#include "win/display.h"
#include "win/texture_upload.h"

void DrawUnclePose(const UnclePose& pose)
{
    IDirect3DDevice7* d = RenderDevice;
    d->SetRenderState(D3DRENDERSTATE_LIGHTING, TRUE);
    d->SetTransform(D3DTRANSFORMSTATE_VIEW, AsD3D(pose.view));
    d->SetTransform(D3DTRANSFORMSTATE_WORLD, AsD3D(pose.world));
    d->SetTexture(0, TextureSurfaces[0]);
    d->DrawPrimitiveVB(D3DPT_TRIANGLELIST, AsDevice(UncleBuffer), 0, DWORD(UncleVertexTotal), 0);
    d->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
    d->SetTexture(0, nullptr);

    SetAlphaBlend(true);
    SetAdditiveBlend();
    d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, FALSE);
    for (int32_t g = 0; g < RayGroupCount; ++g)
        d->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, const_cast<RayVertex*>(pose.rays[g]),
                         RayVerticesPerGroup, 0);
    SetAlphaBlend(false);
    d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, TRUE);
    d->SetRenderState(D3DRENDERSTATE_LIGHTING, TRUE);
}
