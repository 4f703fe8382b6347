// The plug-in library, loaded with dlopen, and its exports.
#pragma once

#include "host/core/SysUtils.h"

#include <string>

namespace orv::shell {

// The library cannot be loaded; the message carries the loader's reason.
class EPluginLoad : public Exception {
public:
    using Exception::Exception;
};

// Invariant: Loaded() exactly while the library is mapped. The library stays mapped for
// the object's life: its windows run its code, so the host frees every window first.
class TPluginLibrary {
public:
    TPluginLibrary() = default;
    ~TPluginLibrary();
    TPluginLibrary(const TPluginLibrary&) = delete;
    TPluginLibrary& operator=(const TPluginLibrary&) = delete;

    // Raises EPluginLoad naming the path and the reason.
    void Load(const std::string& Path);
    bool Loaded() const { return FHandle != nullptr; }
    const std::string& Path() const { return FPath; }

    // The export's address, or null when the library has no such export.
    void* Symbol(const std::string& Name) const;
    template <class F> F* Function(const std::string& Name) const {
        return reinterpret_cast<F*>(Symbol(Name));
    }

private:
    void* FHandle = nullptr;
    std::string FPath;
};

// libquillon.so beside the running executable (the build tree, or a copy kept together
// anywhere), else in the installed plug-in folder relative to it. When neither exists, the
// path beside the executable, so the message names the first place looked at.
std::string DefaultPluginPath();

} // namespace orv::shell
