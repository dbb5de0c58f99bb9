// The uncle on the Direct3D 7 device: the lit, textured sphere, then its rays added
// to the frame without writing depth.
#include "content/texture_upload_win.h"
#include "game/uncle.h"
#include "render/display_win.h"

static IDirectDrawSurface7* UncleTexture = nullptr;

void UploadUncle()
{
    UncleBuffer = NewMeshVertexBuffer(uint32_t(UncleVertexTotal));
    FillMeshVertexBuffer(UncleBuffer, UncleMesh, uint32_t(UncleVertexTotal));
    if (UncleBuffer)
        AsDevice(UncleBuffer)->Optimize(RenderDevice, 0);
    UncleTexture = TextureSurfaces[0];
}

void DrawUncle(double phi, float px, float py, float pz)
{
    IDirect3DDevice7* d = RenderDevice;
    d->SetRenderState(D3DRENDERSTATE_LIGHTING, TRUE);

    Matrix4 identity, view, world;
    MatrixIdentity(identity);
    MatrixRigidInverse(view, identity);  // a camera at the origin looking along +z
    d->SetTransform(D3DTRANSFORMSTATE_VIEW, reinterpret_cast<D3DMATRIX*>(view.m));
    UncleWorldMatrix(world, phi, px, py, pz);
    d->SetTransform(D3DTRANSFORMSTATE_WORLD, reinterpret_cast<D3DMATRIX*>(world.m));
    LightPoint = UncleLightPoint(phi);

    d->SetTexture(0, UncleTexture);
    d->DrawPrimitiveVB(D3DPT_TRIANGLELIST, AsDevice(UncleBuffer), 0, DWORD(UncleVertexTotal), 0);
    d->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
    d->SetTexture(0, nullptr);

    SetAlphaBlend(true);
    SetAdditiveBlend();
    d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, FALSE);
    RayVertex band[RayVerticesPerGroup];  // built per call, nothing allocated
    for (int32_t g = 0; g < RayGroupCount; ++g) {
        BuildRayGroup(&RayQuads[4 * g], LightPoint, band);
        d->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, band, RayVerticesPerGroup, 0);
    }
    SetAlphaBlend(false);
    d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, TRUE);
    d->SetRenderState(D3DRENDERSTATE_LIGHTING, TRUE);
}
