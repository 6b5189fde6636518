// Source of the model-view-projection matrix the sphere is drawn with.
// Widget thread only.
#pragma once

class IModelViewProjection {
public:
    virtual ~IModelViewProjection() = default;
    // 16 floats, column-major; valid until the next call.
    virtual const float *matrix() = 0;
};
