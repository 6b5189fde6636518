// The objects through which a host application lends its log file to the
// plug-in: user data on its QCoreApplication under kHostLogUserDataId. The
// host owns them; the plug-in only reads them (from any thread).
#pragma once

// QObject's user data is deprecated since Qt 5.14 and hidden by the build's
// QT_DISABLE_DEPRECATED_BEFORE, yet it is the contract the host implements.
// It is re-enabled here, which only works before qobject.h is first seen.
#if defined(QOBJECT_H) && defined(QT_NO_USERDATA)
#error "support/HostLogBridge.h must be included before any Qt header"
#endif
#undef QT_DISABLE_DEPRECATED_BEFORE
#define QT_DISABLE_DEPRECATED_BEFORE 0x050D00

#include "support/Logger.h"

#include <QObject>
#include <QString>

#include <cstddef>

constexpr unsigned kHostLogUserDataId = 19083555; // 0x1233123

// The two forms of a path that must not appear in the host's log.
struct HostAnonymiser {
    QString first;
    QString second;
};

// The host's user-data object: the virtual-table pointer, then the logger
// and the anonymiser (either may be null).
class HostLogBridge : public QObjectUserData {
public:
    HostLogBridge(Logger *logger, HostAnonymiser *anonymiser)
        : logger(logger)
        , anonymiser(anonymiser)
    {
    }

    Logger *logger;
    HostAnonymiser *anonymiser;
};

// Byte offsets in the host's object, which the plug-in reads by position
// since its class comes from another module.
constexpr size_t kHostBridgeLoggerOffset = 8;
constexpr size_t kHostBridgeAnonymiserOffset = 16;

static_assert(offsetof(HostAnonymiser, first) == 0, "host anonymiser layout");
static_assert(offsetof(HostAnonymiser, second) == 8, "host anonymiser layout");
static_assert(sizeof(void *) == 8, "the host layouts are those of a 64-bit build");
