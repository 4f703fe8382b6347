#include "shell/PluginLibrary.h"

#include <dlfcn.h>

#include <filesystem>

namespace orv::shell {

TPluginLibrary::~TPluginLibrary() {
    if (FHandle) dlclose(FHandle);
}

void TPluginLibrary::Load(const std::string& Path) {
    if (FHandle) throw EPluginLoad(Format("插件库已经加载：%s", {FPath}));
    dlerror();
    // RTLD_LOCAL keeps the library's symbols to itself; its entry points are looked up.
    void* H = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!H) {
        const char* Why = dlerror();
        throw EPluginLoad(Format("无法加载插件库 %s：%s", {Path, Why ? Why : "原因不明"}));
    }
    FHandle = H;
    FPath = Path;
}

void* TPluginLibrary::Symbol(const std::string& Name) const {
    if (!FHandle) return nullptr;
    return dlsym(FHandle, Name.c_str());
}

std::string DefaultPluginPath() {
    std::error_code Ec;
    std::filesystem::path Self = std::filesystem::read_symlink("/proc/self/exe", Ec);
    std::filesystem::path Folder = Ec ? std::filesystem::current_path() : Self.parent_path();
    const std::filesystem::path Beside = Folder / "libquillon.so";
    // The install layout (cmake/Packaging.cmake) gives the plug-in folder relative to the
    // executable's, so an installed tree may be moved as a whole.
    const std::filesystem::path Installed = Folder / QUILLON_PLUGIN_DIR_FROM_BIN / "libquillon.so";
    if (!std::filesystem::exists(Beside, Ec) && std::filesystem::exists(Installed, Ec))
        return Installed.lexically_normal().string();
    return Beside.string();
}

} // namespace orv::shell
