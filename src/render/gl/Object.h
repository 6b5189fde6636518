#pragma once

#include <GL/glew.h>

namespace GL {

// Base of the owning wrappers around GL object names. Used on the widget's
// thread only, with its context current. Neither copied nor moved.
class Object {
public:
    Object() = default;
    Object(const Object &) = delete;
    Object &operator=(const Object &) = delete;
    virtual ~Object() = default;
    virtual void bind() = 0;
    virtual void unbind() = 0;

    GLuint id = 0;
};

} // namespace GL
