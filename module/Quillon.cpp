// The library's entry points: the host hands over its session once, then opens windows.
//
// Only these functions leave the library (quillon.map); everything else stays inside.

#include "forms/CmsQtyBrowseFrm.h"
#include "forms/CmsShfBrowseFrm.h"
#include "forms/CmsValBrowseFrm.h"
#include "host/forms/Forms.h"
#include "host/services/Cshare.h"
#include "host/services/SysInfo.h"

#define QUILLON_EXPORT extern "C" __attribute__((visibility("default")))

using namespace orv;

namespace {

// The window belongs to Application from here on; the launcher neither waits for it nor
// frees it, and lets whatever Show raises reach the host.
template <class TWindow> void Launch() {
    (new TWindow(Application))->Show();
}

} // namespace

QUILLON_EXPORT void Initialize(TSysInfo* SysInfo) {
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
