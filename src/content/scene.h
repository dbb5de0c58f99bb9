#pragma once
// The twenty targets: one generated mesh copied into each object's own vertex array
// and vertex buffer, with its world matrix and hit fields, and the two point lights.
#include "content/mesh.h"
#include "core/matrix.h"
#include "platform/platform.h"

// A point light, laid out as the Direct3D 7 light it is handed to (D3DLIGHT7).
struct LightColour {
    float r, g, b, a;
};
struct LightVector {
    float x, y, z;
};
struct SceneLight {
    uint32_t dltType;  // 1: point
    LightColour dcvDiffuse, dcvSpecular, dcvAmbient;
    LightVector dvPosition, dvDirection;
    float dvRange, dvFalloff;
    float dvAttenuation0, dvAttenuation1, dvAttenuation2;
    float dvTheta, dvPhi;
};
constexpr uint32_t PointLight = 1;

struct SceneObject {
    int32_t screenX, screenY;  // projected centre, pixels (for the hit test)
    int32_t screenRadius;      // projected half-size of the hit box, pixels
    float radius;              // world half-size: 10 for targets
    int32_t hit;               // 0 intact, 1 shot
    float hitAngle;            // motion angle when it was hit
    int32_t cullMode;          // 0 none, 1 CCW, 2 CW
    int32_t vertexCount;       // vertices drawn
    MeshVertex* vertices;      // the object's own copy, deformed when it explodes
    VertexBuffer* vertexBuffer;
    Matrix4 world;
    int32_t drawMode;          // 0 lines, 1 textured, 2 environment, 3 dual, 4 untextured
    int32_t textureIndex;
};

struct Scene {
    int32_t lightCount;
    SceneLight* lights;
    int32_t objectCount;
    SceneObject** objects;
    Matrix4 view;
};

extern Scene TargetScene;
extern MeshVertex* TargetMesh;      // after start-up: the explosion's scratch list
extern MeshVertex* TargetRestMesh;  // an untouched copy, for making targets whole
extern int32_t TargetVertices;      // 576
extern Matrix4 EnvironmentMatrix;

bool InitScene(Scene* scene, int32_t objectCount, int32_t lightCount);
void InitSceneObject(SceneObject* object, int32_t vertexCount, float x, float y, float z,
                     int32_t drawMode, int32_t textureIndex, int32_t cullMode);
void BuildTargets();
