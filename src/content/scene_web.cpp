// The scene on the web edge: its lights and its objects, lit per vertex as on Windows.
#include "content/scene.h"

extern "C" {
void korva_light(int32_t index, const SceneLight* light);
void korva_draw_mesh(int32_t buffer, int32_t count, int lines, int textured, int32_t cull,
                     const float* world, const float* view);
}

void EnableSceneLights(const Scene* scene)
{
    for (int32_t j = 0; j < scene->lightCount && j < 2; ++j)
        korva_light(j, &scene->lights[j]);
}

// Modes 0 (lines), 1 (textured) and 4 (untextured) are drawn as on Windows; the two
// environment-mapped modes, which no object of the game uses, are drawn textured.
void DrawScene(Scene* scene)
{
    for (int32_t i = 0; i < scene->objectCount; ++i) {
        const SceneObject* object = scene->objects[i];
        if (object->drawMode < 0 || object->drawMode > 4)
            continue;  // nothing is drawn for an unknown mode
        EnableSceneLights(scene);
        const int32_t buffer = int32_t(reinterpret_cast<intptr_t>(object->vertexBuffer));
        korva_draw_mesh(buffer, object->vertexCount, object->drawMode == 0, object->drawMode != 4 && object->drawMode != 0,
                        object->cullMode, object->world.m, scene->view.m);
    }
}
