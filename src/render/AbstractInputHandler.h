// Dispatches mouse input to the registered IInputListeners in pointer order.
// Called on the widget's thread; listeners are not owned. The set is guarded
// by listenersMutex, held for a whole dispatch: a listener must not add or
// remove listeners from inside a callback.
#pragma once

#include <mutex>
#include <set>

class IInputListener;

class AbstractInputHandler {
public:
    AbstractInputHandler() = default;
    AbstractInputHandler(const AbstractInputHandler &) = delete;
    AbstractInputHandler &operator=(const AbstractInputHandler &) = delete;

    void addListener(IInputListener *listener);
    void removeListener(IInputListener *listener);

    void mouseMoved(float x, float y, float dx, float dy);
    void mousePressed(float x, float y);
    void mouseReleased(float x, float y);
    void wheelTurned(float dx, float dy);

protected:
    ~AbstractInputHandler() = default;

private:
    std::mutex listenersMutex;
    std::set<IInputListener *> listeners; // guarded by listenersMutex
};
