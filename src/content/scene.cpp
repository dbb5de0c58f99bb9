#include "content/scene.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "content/texture_upload.h"

Scene TargetScene;
MeshVertex* TargetMesh = nullptr;
MeshVertex* TargetRestMesh = nullptr;
int32_t TargetVertices = 0;
Matrix4 EnvironmentMatrix;

static D3DMATRIX* AsD3D(Matrix4& m) { return reinterpret_cast<D3DMATRIX*>(m.m); }

bool InitScene(Scene* scene, int32_t objectCount, int32_t lightCount)
{
    scene->lightCount = lightCount;
    scene->objectCount = objectCount;
    scene->lights = static_cast<D3DLIGHT7*>(std::calloc(size_t(lightCount) + 1, sizeof(D3DLIGHT7)));
    scene->objects = static_cast<SceneObject**>(std::calloc(size_t(objectCount) + 1, sizeof(SceneObject*)));
    if (!scene->lights || !scene->objects)
        return false;
    for (int32_t i = 0; i < objectCount; ++i) {
        scene->objects[i] = static_cast<SceneObject*>(std::calloc(1, sizeof(SceneObject)));
        if (!scene->objects[i])
            return false;
    }
    MatrixIdentity(scene->view);
    return true;
}

void InitSceneObject(SceneObject* object, int32_t vertexCount, float x, float y, float z,
                     int32_t drawMode, int32_t textureIndex, int32_t cullMode)
{
    object->cullMode = cullMode;
    object->vertexCount = vertexCount;
    object->drawMode = drawMode;
    object->textureIndex = textureIndex;
    MatrixIdentity(object->world);
    object->world(3, 0) = x;
    object->world(3, 1) = y;
    object->world(3, 2) = z;
    object->vertices = AllocateMesh(vertexCount);
    object->vertexBuffer = NewMeshVertexBuffer(DWORD(vertexCount));
}

void BuildTargets()
{
    int32_t count = 0;
    TargetMesh = BuildTargetMesh(&count);
    TargetRestMesh = AllocateMesh(count);
    if (!TargetMesh || !TargetRestMesh)
        FatalError("Out of memory while building the targets.");
    std::memcpy(TargetRestMesh, TargetMesh, size_t(count) * sizeof(MeshVertex));

    for (int32_t i = 0; i < TargetScene.objectCount; ++i) {
        SceneObject* object = TargetScene.objects[i];
        InitSceneObject(object, count, 0.0f, 0.0f, 0.0f, 4, 0, 1);
        if (!object->vertices)
            FatalError("Out of memory while building the targets.");
        std::memcpy(object->vertices, TargetMesh, size_t(count) * sizeof(MeshVertex));
        FillMeshVertexBuffer(object->vertexBuffer, object->vertices, DWORD(count));
        object->radius = 10.0f;
        object->hit = 0;
    }
    for (int32_t j = 0; j < TargetScene.lightCount; ++j) {
        D3DLIGHT7& light = TargetScene.lights[j];
        light.dltType = D3DLIGHT_POINT;
        light.dcvDiffuse.a = 1.0f;
        light.dcvAmbient.r = light.dcvAmbient.g = light.dcvAmbient.b = 0.0f;
        light.dvAttenuation0 = 1.0f;
        light.dvAttenuation1 = 0.0f;
        light.dvAttenuation2 = 0.0f;
        light.dvRange = D3DLIGHT_RANGE_MAX;
        light.dvPosition.x = light.dvPosition.y = light.dvPosition.z = 0.0f;
        light.dcvDiffuse.r = light.dcvDiffuse.g = light.dcvDiffuse.b = 0.5f;
    }
    TargetVertices = count;
}

void EnableSceneLights(const Scene* scene)
{
    for (int32_t j = 0; j < scene->lightCount; ++j) {
        RenderDevice->SetLight(DWORD(j), &scene->lights[j]);
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
        d->DrawPrimitiveVB(primitive, object->vertexBuffer, 0, DWORD(object->vertexCount), 0);
    }
}
