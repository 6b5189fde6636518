// A current Qt OpenGL context on an offscreen surface (Xvfb), kept apart from
// GLEW: Qt's OpenGL headers and glew.h cannot meet in one file.
#pragma once

#include <memory>

namespace vrtest {

class OffscreenContext {
public:
    OffscreenContext();
    ~OffscreenContext();
    bool isCurrent() const { return current; }

private:
    struct Parts;
    std::unique_ptr<Parts> parts;
    bool current = false;
};

} // namespace vrtest
