#include "render/AbstractInputHandler.h"

#include "render/IInputListener.h"

void AbstractInputHandler::addListener(IInputListener *listener)
{
    if (!listener)
        return;
    std::lock_guard<std::mutex> guard(listenersMutex);
    listeners.insert(listener);
}

void AbstractInputHandler::removeListener(IInputListener *listener)
{
    std::lock_guard<std::mutex> guard(listenersMutex);
    listeners.erase(listener);
}

void AbstractInputHandler::mouseMoved(float x, float y, float dx, float dy)
{
    std::lock_guard<std::mutex> guard(listenersMutex);
    for (IInputListener *listener : listeners)
        listener->onMouseMove(x, y, dx, dy);
}

void AbstractInputHandler::mousePressed(float x, float y)
{
    std::lock_guard<std::mutex> guard(listenersMutex);
    for (IInputListener *listener : listeners)
        listener->onMousePress(x, y);
}

void AbstractInputHandler::mouseReleased(float x, float y)
{
    std::lock_guard<std::mutex> guard(listenersMutex);
    for (IInputListener *listener : listeners)
        listener->onMouseRelease(x, y);
}

void AbstractInputHandler::wheelTurned(float dx, float dy)
{
    std::lock_guard<std::mutex> guard(listenersMutex);
    for (IInputListener *listener : listeners)
        listener->onWheel(dx, dy);
}
