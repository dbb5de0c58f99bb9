// The scene on the web edge: its lights and its objects, lit per vertex as on Windows.
#include "content/scene.h"
#include "web/web.h"

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
        const bool lines = object->drawMode == 0, textured = !lines && object->drawMode != 4;
        korva_draw_mesh(BufferId(object->vertexBuffer), object->vertexCount, lines, textured, object->cullMode,
                        object->world.m, scene->view.m);
    }
}
