// The library's entry points: the host hands over its session once, then opens windows.
//
// Only these functions leave the library (quillon.map); everything else stays inside.

#include "forms/CmsQtyBrowseFrm.h"
#include "forms/CmsRsBrowseFrm.h"
#include "forms/CmsShfBrowseFrm.h"
#include "forms/CmsValBrowseFrm.h"
#include "host/forms/Forms.h"
#include "host/services/Cshare.h"
#include "host/services/SysInfo.h"

#define QUILLON_EXPORT extern "C" __attribute__((visibility("default")))

using namespace orv;

namespace {

// The windows read the session at every step, so a host that opens one before handing the
// session over is told so here, through its own call, before anything is made.
void RequireSession(const TSysInfo* SysInfo) {
    if (!SysInfo) throw Exception("插件还没有会话：主程序须先调用 Initialize 交给插件会话，再打开窗口。");
}

// The window belongs to Application from here on; the launcher neither waits for it nor
// frees it, and lets whatever Show raises reach the host.
template <class TWindow> void Launch() {
    RequireSession(SysInfoObj);
    (new TWindow(Application))->Show();
}

} // namespace

QUILLON_EXPORT void Initialize(TSysInfo* SysInfo) {
    RequireSession(SysInfo);
    SysInfoObj = SysInfo;
    SynchronizeApp(SysInfo->HostApplication(), Application);
}

QUILLON_EXPORT void CmsShfMan() {
    Launch<TCmsShfBrowseForm>();
}

QUILLON_EXPORT void CmsQtyMan() {
    Launch<TCmsQtyBrowseForm>();
}

QUILLON_EXPORT void CmsValMan() {
    Launch<TCmsValBrowseForm>();
}

QUILLON_EXPORT void CmsRsMan() {
    Launch<TCmsRsBrowseForm>();
}
