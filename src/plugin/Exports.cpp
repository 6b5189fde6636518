// The library's only exported symbols: one factory per flag combination. No
// exception leaves the library; a factory that fails returns null.
#include "IMediaPlayer2.h"
#include "plugin/PlayerLibAV.h"
#include "support/LogCategories.h"

#include <QDebug>

#include <exception>

namespace {

IMediaPlayer2 *create(bool hardware, bool vr) noexcept
{
    try {
        return new PlayerLibAV(hardware, vr);
    } catch (const std::exception &e) {
        qCCritical(lcPlugin, "PlayerLibAV could not be created: %s", e.what());
    } catch (...) {
        qCCritical(lcPlugin, "PlayerLibAV could not be created");
    }
    return nullptr;
}

} // namespace

extern "C" {

PLAYERLIBAV_EXPORT IMediaPlayer2 *CreateHw()
{
    return create(true, false);
}

PLAYERLIBAV_EXPORT IMediaPlayer2 *CreateHwVr()
{
    return create(true, true);
}

PLAYERLIBAV_EXPORT IMediaPlayer2 *CreateSw()
{
    return create(false, false);
}
}
