#pragma once

#include <functional>

class AbstractMode;

// The render widget as the engine sees it. Called on the widget's thread.
class IRenderView {
public:
    virtual ~IRenderView() = default;
    virtual void setMode(AbstractMode *mode) = 0;
    virtual void execute(const std::function<void()> &work) = 0;
    virtual bool isInitialized() const = 0;
};
