// The scene on the Direct3D 7 device: its lights and its objects' draw modes.
#include <cstddef>

#include "content/scene.h"
#include "win/texture_upload.h"

static_assert(sizeof(SceneLight) == sizeof(D3DLIGHT7) &&
                  offsetof(SceneLight, dvPosition) == offsetof(D3DLIGHT7, dvPosition) &&
                  offsetof(SceneLight, dvPhi) == offsetof(D3DLIGHT7, dvPhi),
              "SceneLight is handed to the device as a D3DLIGHT7");

void EnableSceneLights(const Scene* scene)
{
    for (int32_t j = 0; j < scene->lightCount; ++j) {
        RenderDevice->SetLight(DWORD(j), reinterpret_cast<D3DLIGHT7*>(&scene->lights[j]));
        RenderDevice->LightEnable(DWORD(j), TRUE);
    }
}

void DrawScene(Scene* scene)
{
    IDirect3DDevice7* d = RenderDevice;
    d->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
    MatrixIdentity(EnvironmentMatrix);
    EnvironmentMatrix(0, 0) = EnvironmentMatrix(1, 1) = EnvironmentMatrix(2, 2) = 0.5f;
    EnvironmentMatrix(3, 0) = EnvironmentMatrix(3, 1) = EnvironmentMatrix(3, 2) = 0.5f;

    for (int32_t i = 0; i < scene->objectCount; ++i) {
        SceneObject* object = scene->objects[i];
        d->SetRenderState(D3DRENDERSTATE_LIGHTING, TRUE);
        EnableSceneLights(scene);
        SetupSingleTexture();
        switch (object->cullMode) {
        case 0: d->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE); break;
        case 1: d->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_CCW); break;
        case 2: d->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_CW); break;
        default: break;
        }

        IDirectDrawSurface7* texture =
            object->textureIndex == 0 ? TextureSurfaces[0] : nullptr;
        D3DPRIMITIVETYPE primitive = D3DPT_TRIANGLELIST;
        switch (object->drawMode) {
        case 0:
            primitive = D3DPT_LINELIST;
            break;
        case 1:
            d->SetTexture(0, texture);
            break;
        case 2:
            d->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
            d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
            d->SetTransform(D3DTRANSFORMSTATE_TEXTURE0, AsD3D(EnvironmentMatrix));
            d->SetTexture(0, texture);
            break;
        case 3:
            SetupDualTexture(D3DTOP_ADDSIGNED);
            d->SetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
            d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
            d->SetTransform(D3DTRANSFORMSTATE_TEXTURE1, AsD3D(EnvironmentMatrix));
            d->SetTexture(0, texture);
            break;
        case 4:
            d->SetTexture(0, nullptr);
            break;
        default:
            continue;  // nothing is drawn for an unknown mode
        }
        d->SetTransform(D3DTRANSFORMSTATE_VIEW, AsD3D(scene->view));
        d->SetTransform(D3DTRANSFORMSTATE_WORLD, AsD3D(object->world));
        d->DrawPrimitiveVB(primitive, AsDevice(object->vertexBuffer), 0, DWORD(object->vertexCount), 0);
    }
}
