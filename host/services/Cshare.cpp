#include "host/services/Cshare.h"

#include "host/core/SysUtils.h"

namespace orv {

namespace {
ICshareProvider* GProvider = nullptr;

ICshareProvider& Provider() {
    if (!GProvider) throw EDatabaseError("主程序没有提供查询与选择服务。");
    return *GProvider;
}
} // namespace

void SetCshareProvider(ICshareProvider* P) { GProvider = P; }
ICshareProvider* GetCshareProvider() { return GProvider; }

bool GetProductSortList(TOrvClientDataSet* S, std::string& ErrorMsg) {
    return Provider().GetProductSortList(S, ErrorMsg);
}

bool GetUnit(int RootUnitID, int UnitID, const std::string& UnitNum, const std::string& UnitTypes,
             TOrvClientDataSet* S, std::string& ErrorMsg) {
    return Provider().GetUnit(RootUnitID, UnitID, UnitNum, UnitTypes, S, ErrorMsg);
}

bool GetProdCls(int ProdClsID, const std::string& ProdClsNum, TOrvClientDataSet* S, std::string& ErrorMsg) {
    return Provider().GetProdCls(ProdClsID, ProdClsNum, S, ErrorMsg);
}

bool SelectUnitInTree(int RootUnitID, const std::string& UnitType1, const std::string& UnitType2,
                      const std::string& Privilege, TOrvClientDataSet* S) {
    return Provider().SelectUnitInTree(RootUnitID, UnitType1, UnitType2, Privilege, S);
}

bool SelectUnitsInTree(int RootUnitID, const std::string& UnitType1, const std::string& UnitType2,
                       const std::string& Privilege, TOrvClientDataSet* S, bool& AllSelected) {
    return Provider().SelectUnitsInTree(RootUnitID, UnitType1, UnitType2, Privilege, S, AllSelected);
}

bool SelectProdCls(const std::string& Filter, bool MultiSelect, TOrvClientDataSet* S) {
    return Provider().SelectProdCls(Filter, MultiSelect, S);
}

void SynchronizeApp(TApplication* HostApp, TApplication* ModuleApp) {
    // A host without a provider has nothing to join: both sides already share one Application.
    if (GProvider) GProvider->SynchronizeApp(HostApp, ModuleApp);
}

} // namespace orv
