// The host's lookups and pickers: lookups go to the server, pickers show the units and
// product classes the server lists through a user interface the host supplies.
#pragma once

#include "host/services/Cshare.h"
#include "server/ServerLookups.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orv {
class TSysInfo;
}

namespace orv::shell {

// What a picker shows; the host's toolkit implements it (Qt dialogs in quillon-host).
class IPickerUi {
public:
    virtual ~IPickerUi() = default;
    // Tree: parents before children. Units of the Selectable types can be chosen, the
    // others only group them. Returns the chosen ids in tree order, or nothing when the
    // user cancelled.
    virtual std::optional<std::vector<int>> PickUnits(const std::vector<server::TUnitNode>& Tree,
                                                      const std::vector<std::string>& Selectable,
                                                      bool Multi) = 0;
    using TProdClsSearch = std::function<std::vector<server::TProdClsItem>(const std::string& Text)>;
    // Search lists the classes whose number or name contains the text; Filter is the text
    // the picker starts with.
    virtual std::optional<std::vector<server::TProdClsItem>>
    PickProdCls(const TProdClsSearch& Search, const std::string& Filter, bool Multi) = 0;
};

// Invariant: a picker writes S only when the user chose something; a cancel leaves S as
// it was. The rows written are those the server knows, in the order the picker showed.
class THostCshareProvider : public ICshareProvider {
public:
    // Session answers the privilege a picker is opened with; Ui may be null (every
    // picker then counts as cancelled).
    THostCshareProvider(server::ILookups& Lookups, const TSysInfo& Session, IPickerUi* Ui);

    bool GetProductSortList(TOrvClientDataSet* S, std::string& ErrorMsg) override;
    bool GetUnit(int RootUnitID, int UnitID, const std::string& UnitNum, const std::string& UnitTypes,
                 TOrvClientDataSet* S, std::string& ErrorMsg) override;
    bool GetProdCls(int ProdClsID, const std::string& ProdClsNum, TOrvClientDataSet* S,
                    std::string& ErrorMsg) override;
    bool SelectUnitInTree(int RootUnitID, const std::string& UnitType1, const std::string& UnitType2,
                          const std::string& Privilege, TOrvClientDataSet* S) override;
    bool SelectUnitsInTree(int RootUnitID, const std::string& UnitType1, const std::string& UnitType2,
                           const std::string& Privilege, TOrvClientDataSet* S, bool& AllSelected) override;
    bool SelectProdCls(const std::string& Filter, bool MultiSelect, TOrvClientDataSet* S) override;
    // Host and plug-in share one orvhost library and so one application object already.
    void SynchronizeApp(TApplication* HostApp, TApplication* ModuleApp) override;

private:
    // Runs a listing query; false, with the reason shown to the clerk, when it raises (a
    // server out of reach).
    bool Listed(const std::function<void()>& Query);
    bool PickUnits(int RootUnitID, const std::string& UnitType1, const std::string& UnitType2,
                   const std::string& Privilege, TOrvClientDataSet* S, bool Multi, bool* AllSelected);

    server::ILookups& FLookups;
    const TSysInfo& FSession;
    IPickerUi* FUi;
};

} // namespace orv::shell
