// The fixed render states, blending and texture stages, vertex buffers and the
// presentation of a finished frame.
#include <cstring>

#include "content/mesh.h"
#include "win/display.h"
#include "win/setup.h"

void SetProjection()
{
    Matrix4 projection;
    ProjectionMatrix(projection, ScreenWidth, ScreenHeight);
    RenderDevice->SetTransform(D3DTRANSFORMSTATE_PROJECTION, AsD3D(projection));
}

void SetWhiteMaterial()
{
    D3DMATERIAL7 material;
    std::memset(&material, 0, sizeof material);
    material.diffuse = {{1.0f}, {1.0f}, {1.0f}, {1.0f}};
    material.ambient = {{1.0f}, {1.0f}, {1.0f}, {1.0f}};
    RenderDevice->SetMaterial(&material);
}

void SetAdditiveBlend()
{
    RenderDevice->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
    RenderDevice->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
    RenderDevice->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
}

void SetAlphaBlend(bool on)
{
    RenderDevice->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, on ? TRUE : FALSE);
    if (!on)
        SetAdditiveBlend();
}

void SetInitialRenderStates(IDirect3DDevice7* device)
{
    D3DVIEWPORT7 viewport = {0, 0, ScreenWidth, ScreenHeight, 0.0f, 1.0f};
    device->SetViewport(&viewport);
    device->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL);
    SetWhiteMaterial();
    Matrix4 identity;
    MatrixIdentity(identity);
    device->SetTransform(D3DTRANSFORMSTATE_WORLD, AsD3D(identity));
    device->SetTransform(D3DTRANSFORMSTATE_VIEW, AsD3D(identity));
    Matrix4 projection;
    ProjectionMatrix(projection, ScreenWidth, ScreenHeight);
    device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, AsD3D(projection));
    device->SetRenderState(D3DRENDERSTATE_TEXTUREPERSPECTIVE, TRUE);
    device->SetRenderState(D3DRENDERSTATE_LIGHTING, TRUE);
    for (DWORD stage = 0; stage < 2; ++stage)
        device->SetTextureStageState(stage, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
    for (DWORD stage = 0; stage < 2; ++stage)
        device->SetTextureStageState(stage, D3DTSS_MINFILTER, D3DTFN_LINEAR);
    for (DWORD stage = 0; stage < 2; ++stage)
        device->SetTextureStageState(stage, D3DTSS_MIPFILTER, D3DTFP_LINEAR);
    device->SetTextureStageState(1, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetTextureStageState(1, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    device->SetRenderState(D3DRENDERSTATE_DITHERENABLE, TRUE);
    device->SetRenderState(D3DRENDERSTATE_AMBIENT, 0);
    device->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_CCW);
    SetProjection();
    SetAlphaBlend(false);
}

void SetupSingleTexture()
{
    IDirect3DDevice7* d = RenderDevice;
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    d->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d->SetTextureStageState(2, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

void SetupDualTexture(DWORD stage1ColourOperation)
{
    IDirect3DDevice7* d = RenderDevice;
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
    d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_COLOROP, stage1ColourOperation);
    d->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    d->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
    d->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d->SetTextureStageState(2, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

IDirect3DVertexBuffer7* NewVertexBuffer(DWORD count, DWORD format)
{
    D3DVERTEXBUFFERDESC desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwCaps = D3DVBCAPS_WRITEONLY;
    desc.dwFVF = format;
    desc.dwNumVertices = count;
    IDirect3DVertexBuffer7* buffer = nullptr;
    Direct3D->CreateVertexBuffer(&desc, &buffer, 0);
    return buffer;
}

VertexBuffer* NewMeshVertexBuffer(uint32_t count)
{
    return reinterpret_cast<VertexBuffer*>(NewVertexBuffer(count, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
}

void FillVertexBuffer(IDirect3DVertexBuffer7* buffer, const void* vertices, DWORD count, DWORD stride)
{
    void* data = nullptr;
    if (!buffer || FAILED(buffer->Lock(DDLOCK_WRITEONLY, &data, nullptr)) || !data)
        return;
    std::memcpy(data, vertices, (size_t(count) * stride) & ~size_t(3));
    buffer->Unlock();
}

void FillMeshVertexBuffer(VertexBuffer* buffer, const MeshVertex* vertices, uint32_t count)
{
    FillVertexBuffer(AsDevice(buffer), vertices, count, sizeof *vertices);
}

void OptimizeVertexBuffer(VertexBuffer* buffer)
{
    if (buffer)
        AsDevice(buffer)->Optimize(RenderDevice, 0);
}

void ClearFrame(uint32_t colour, bool depth)
{
    RenderDevice->Clear(0, nullptr, depth ? D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER : D3DCLEAR_TARGET, colour,
                        1.0f, 0);
}

void BeginScene() { RenderDevice->BeginScene(); }
void EndScene() { RenderDevice->EndScene(); }

void PresentFrame()
{
    if (!Windowed) {
        PrimarySurface->Flip(nullptr, WaitRetrace ? DDFLIP_WAIT : DDFLIP_WAIT | DDFLIP_NOVSYNC);
        return;
    }
    RECT client;
    GetClientRect(MainWindow, &client);
    ClientToScreen(MainWindow, reinterpret_cast<POINT*>(&client.left));
    ClientToScreen(MainWindow, reinterpret_cast<POINT*>(&client.right));
    if (WaitRetrace)
        DirectDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    // The clipper confines the copy to the window's visible parts; a window that
    // hangs off the screen is cut to the screen here too, since some DirectDraw
    // implementations refuse a destination outside the primary surface.
    RECT source = {0, 0, client.right - client.left, client.bottom - client.top};
    if (client.left < PrimaryBounds.left) { source.left += PrimaryBounds.left - client.left; client.left = PrimaryBounds.left; }
    if (client.top < PrimaryBounds.top) { source.top += PrimaryBounds.top - client.top; client.top = PrimaryBounds.top; }
    if (client.right > PrimaryBounds.right) { source.right -= client.right - PrimaryBounds.right; client.right = PrimaryBounds.right; }
    if (client.bottom > PrimaryBounds.bottom) { source.bottom -= client.bottom - PrimaryBounds.bottom; client.bottom = PrimaryBounds.bottom; }
    if (client.right <= client.left || client.bottom <= client.top)
        return;  // nothing of the window is on the screen
    PrimarySurface->Blt(&client, BackBuffer, &source, DDBLT_WAIT, nullptr);
}
