#include "content/scene.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>


Scene TargetScene;
MeshVertex* TargetMesh = nullptr;
MeshVertex* TargetRestMesh = nullptr;
int32_t TargetVertices = 0;
Matrix4 EnvironmentMatrix;

bool InitScene(Scene* scene, int32_t objectCount, int32_t lightCount)
{
    scene->lightCount = lightCount;
    scene->objectCount = objectCount;
    scene->lights = static_cast<SceneLight*>(std::calloc(size_t(lightCount) + 1, sizeof(SceneLight)));
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
    object->vertexBuffer = NewMeshVertexBuffer(uint32_t(vertexCount));
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
        FillMeshVertexBuffer(object->vertexBuffer, object->vertices, uint32_t(count));
        object->radius = 10.0f;
        object->hit = 0;
    }
    for (int32_t j = 0; j < TargetScene.lightCount; ++j) {
        SceneLight& light = TargetScene.lights[j];
        light.dltType = PointLight;
        light.dcvDiffuse.a = 1.0f;
        light.dcvAmbient.r = light.dcvAmbient.g = light.dcvAmbient.b = 0.0f;
        light.dvAttenuation0 = 1.0f;
        light.dvAttenuation1 = 0.0f;
        light.dvAttenuation2 = 0.0f;
        light.dvRange = std::sqrt(FLT_MAX);  // no range limit
        light.dvPosition.x = light.dvPosition.y = light.dvPosition.z = 0.0f;
        light.dcvDiffuse.r = light.dcvDiffuse.g = light.dcvDiffuse.b = 0.5f;
    }
    TargetVertices = count;
}
