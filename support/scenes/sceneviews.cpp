// The scenes' matrices and shader renderer views, made with glm.
#include "scenes.h"

#include "blocklight.h"  // useShaderLight

#include <glm/ext/matrix_transform.hpp>  // glm::lookAt, glm::rotate
#include <glm/gtc/type_ptr.hpp>          // glm::value_ptr
#include <string.h>                      // memcpy

namespace tmapscenes {

glm::mat4 cameraMatrix(const Camera &camera)
{
    // In double precision, as gluLookAt works it out.
    return glm::mat4(glm::lookAt(glm::dvec3(camera.eye[0], camera.eye[1], camera.eye[2]),
                                 glm::dvec3(camera.centre[0], camera.centre[1], camera.centre[2]),
                                 glm::dvec3(camera.up[0], camera.up[1], camera.up[2])));
}

glm::mat4 turnedMatrix(const glm::mat4 &modelview, const Turn *turns, int count)
{
    glm::mat4 turned = modelview;
    for (int k = 0; k < count; ++k)
        turned = glm::rotate(turned, glm::radians(turns[k].degrees),
                             glm::vec3(turns[k].axis[0], turns[k].axis[1], turns[k].axis[2]));
    return turned;
}

TmapGpuView shaderView(const Scene &scene, const glm::mat4 &projection, const glm::mat4 &modelview)
{
    TmapGpuView view;
    tmapGpuViewDefaults(&view);
    memcpy(view.projection, glm::value_ptr(projection), sizeof view.projection);
    memcpy(view.modelview, glm::value_ptr(modelview), sizeof view.modelview);
    view.fogEnabled = scene.fogged;
    view.fogDensity = scene.fogDensity;
    memcpy(view.fogColour, scene.fogColour, sizeof view.fogColour);
    if (scene.lit) {
        const float *p = scene.lightPosition;
        glm::vec4 eyePosition = modelview * glm::vec4(p[0], p[1], p[2], p[3]);
        tmapblocklight::useShaderLight(view, glm::value_ptr(eyePosition));
    }
    return view;
}

} // namespace tmapscenes
