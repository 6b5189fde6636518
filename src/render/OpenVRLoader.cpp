#include "render/OpenVRLoader.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

namespace openvr {

namespace {

using InitInternal2Fn = uint32_t (*)(vr::EVRInitError *, vr::EVRApplicationType, const char *);
using InitInternalFn = uint32_t (*)(vr::EVRInitError *, vr::EVRApplicationType);
using ShutdownInternalFn = void (*)();
using IsInterfaceVersionValidFn = bool (*)(const char *);
using GetGenericInterfaceFn = void *(*)(const char *, vr::EVRInitError *);
using GetInitTokenFn = uint32_t (*)();

struct EntryPoints {
    InitInternal2Fn initInternal2 = nullptr;
    InitInternalFn initInternal = nullptr;
    ShutdownInternalFn shutdownInternal = nullptr;
    IsInterfaceVersionValidFn isInterfaceVersionValid = nullptr;
    GetGenericInterfaceFn getGenericInterface = nullptr;
    GetInitTokenFn getInitToken = nullptr;
};

// All guarded by loadMutex until loaded is set; afterwards entry is read-only.
std::mutex loadMutex;
bool loaded = false;
EntryPoints entry;

// Interface pointers are only valid within one init token, as in the SDK's
// own per-module context. Widget thread only.
vr::IVRCompositor *cachedCompositor = nullptr;
uint32_t cachedToken = 0;

template <typename Fn> Fn resolve(void *handle, const char *name)
{
    return reinterpret_cast<Fn>(dlsym(handle, name));
}

// The directory of the module this code is linked into (the plug-in), or
// empty when the dynamic linker does not say.
std::string ownDirectory()
{
    static const char marker = 0;
    Dl_info info;
    if (!dladdr(&marker, &info) || !info.dli_fname)
        return std::string();
    const std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void *openLibrary()
{
    const char *const name = "libopenvr_api.so";
    // The plug-in's own directory first. Its $ORIGIN run path says the same,
    // but a run path is only honoured when dlopen's caller is the plug-in
    // itself, which interposed dlopen implementations (sanitizers, some
    // preloaded tools) break.
    const std::string directory = ownDirectory();
    if (!directory.empty()) {
        if (void *handle = dlopen((directory + name).c_str(), RTLD_NOW | RTLD_LOCAL))
            return handle;
    }
    // Then as the dynamic linker finds a linked library: LD_LIBRARY_PATH,
    // the run path and the system's library directories.
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

void clearCache()
{
    cachedCompositor = nullptr;
    cachedToken = 0;
}

} // namespace

bool load()
{
    std::lock_guard<std::mutex> guard(loadMutex);
    if (loaded)
        return true;
    // A failed attempt is retried at the next initialisation.
    void *handle = openLibrary();
    if (!handle)
        return false;
    EntryPoints found;
    found.initInternal2 = resolve<InitInternal2Fn>(handle, "VR_InitInternal2");
    found.initInternal = resolve<InitInternalFn>(handle, "VR_InitInternal");
    found.shutdownInternal = resolve<ShutdownInternalFn>(handle, "VR_ShutdownInternal");
    found.isInterfaceVersionValid = resolve<IsInterfaceVersionValidFn>(handle, "VR_IsInterfaceVersionValid");
    found.getGenericInterface = resolve<GetGenericInterfaceFn>(handle, "VR_GetGenericInterface");
    found.getInitToken = resolve<GetInitTokenFn>(handle, "VR_GetInitToken");
    if ((!found.initInternal2 && !found.initInternal) || !found.shutdownInternal ||
        !found.isInterfaceVersionValid || !found.getGenericInterface) {
        dlclose(handle);
        return false;
    }
    // The handle is never closed: runtimes keep threads and state inside
    // the library that outlive a shutdown.
    entry = found;
    loaded = true;
    return true;
}

vr::IVRSystem *initSystem(vr::EVRInitError *error, vr::EVRApplicationType type)
{
    vr::EVRInitError status = vr::VRInitError_None;
    vr::IVRSystem *system = nullptr;
    if (!load()) {
        status = vr::VRInitError_Init_InstallationNotFound;
    } else {
        if (entry.initInternal2)
            entry.initInternal2(&status, type, nullptr);
        else
            entry.initInternal(&status, type);
        clearCache();
        if (status == vr::VRInitError_None) {
            if (entry.isInterfaceVersionValid(vr::IVRSystem_Version)) {
                vr::EVRInitError ignored = vr::VRInitError_None;
                system = static_cast<vr::IVRSystem *>(entry.getGenericInterface(vr::IVRSystem_Version, &ignored));
            } else {
                entry.shutdownInternal();
                status = vr::VRInitError_Init_InterfaceNotFound;
            }
        }
    }
    if (error)
        *error = status;
    return system;
}

void shutdown()
{
    if (!load())
        return;
    entry.shutdownInternal();
    clearCache();
}

vr::IVRCompositor *compositor()
{
    if (!load())
        return nullptr;
    if (entry.getInitToken) {
        uint32_t token = entry.getInitToken();
        if (token != cachedToken) {
            clearCache();
            cachedToken = token;
        }
    } else {
        cachedCompositor = nullptr;
    }
    if (!cachedCompositor) {
        vr::EVRInitError ignored = vr::VRInitError_None;
        cachedCompositor =
            static_cast<vr::IVRCompositor *>(entry.getGenericInterface(vr::IVRCompositor_Version, &ignored));
    }
    return cachedCompositor;
}

} // namespace openvr
