#include "render/VRMVP.h"

#include "render/OpenVRApi.h"
#include "render/OpenVRMatrix.h"
#include "render/VRRuntime.h"

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

VRMVP::VRMVP(VRRuntime *runtime) : result(1.0f), runtime(runtime)
{
}

const glm::mat4 &VRMVP::modelMatrix()
{
    // A function-local static is initialised once, safely against a
    // concurrent first use.
    static const glm::mat4 model = [] {
        const float quarterTurn = 1.5707964f;
        const glm::mat4 t = glm::translate(glm::mat4(1.0f), glm::vec3(0.0f, -1.0f, -3.0f));
        const glm::mat4 ra = glm::rotate(glm::mat4(1.0f), quarterTurn, glm::vec3(-1.0f, 0.0f, 0.0f));
        const glm::mat4 rb = glm::rotate(glm::mat4(1.0f), quarterTurn, glm::vec3(0.0f, 0.0f, 1.0f));
        return t * ra * rb;
    }();
    return model;
}

const float *VRMVP::matrix()
{
    const glm::mat4 &model = modelMatrix();
    glm::mat4 projection(1.0f);
    glm::mat4 eyePose(1.0f);
    vr::IVRSystem *system = runtime->getSystem();
    if (system) {
        const vr::EVREye which = eye == 0 ? vr::Eye_Left : vr::Eye_Right;
        projection = openvr::toColumnMajor(system->GetProjectionMatrix(which, 1.0f, 10.0f));
        eyePose = glm::inverse(openvr::toColumnMajor(system->GetEyeToHeadTransform(which)));
    }
    const glm::mat4 head = glm::make_mat4(runtime->getHeadPose());
    result = projection * eyePose * head * model;
    return glm::value_ptr(result);
}
