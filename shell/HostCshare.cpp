#include "shell/HostCshare.h"

#include "host/data/ClientDataSet.h"
#include "host/forms/Forms.h"
#include "host/services/SysInfo.h"
#include "server/PacketBuilder.h"

#include <algorithm>
#include <map>
#include <utility>

namespace orv::shell {

namespace {

const std::vector<server::TPacketField> UnitFields = {{"UNIT_ID", server::TPacketType::ptId, 8, 0},
                                                      {"UNIT_NUM", server::TPacketType::ptText, 0, 20},
                                                      {"UNIT_NAME", server::TPacketType::ptText, 0, 50}};

const std::vector<server::TPacketField> ProdClsFields = {{"PROD_CLS_ID", server::TPacketType::ptId, 8, 0},
                                                         {"PROD_CLS_NUM", server::TPacketType::ptText, 0, 25},
                                                         {"PROD_NAME", server::TPacketType::ptText, 0, 50}};

// Replaces S's structure and rows with Rows (one vector of values per row), on its first row.
void WriteRows(TOrvClientDataSet* S, const std::vector<server::TPacketField>& Fields,
               const std::vector<std::vector<Variant>>& Rows) {
    TOrvClientDataSet Result(nullptr);
    server::CreatePacketFields(Result, Fields);
    for (const std::vector<Variant>& Row : Rows) {
        Result.Append();
        for (std::size_t I = 0; I < Fields.size(); ++I)
            Result.FieldByName(Fields[I].Name)->SetValue(Row[I]);
        Result.Post();
    }
    Result.MergeChangeLog();
    S->SetXMLData(Result.GetXMLData());
    S->First();
}

} // namespace

THostCshareProvider::THostCshareProvider(server::ILookups& Lookups, const TSysInfo& Session,
                                         IPickerUi* Ui)
    : FLookups(Lookups), FSession(Session), FUi(Ui) {}

bool THostCshareProvider::GetProductSortList(TOrvClientDataSet* S, std::string& ErrorMsg) {
    return FLookups.GetProductSortList(S, ErrorMsg);
}

bool THostCshareProvider::GetUnit(int RootUnitID, int UnitID, const std::string& UnitNum,
                                  const std::string& UnitTypes, TOrvClientDataSet* S, std::string& ErrorMsg) {
    return FLookups.GetUnit(RootUnitID, UnitID, UnitNum, UnitTypes, S, ErrorMsg);
}

bool THostCshareProvider::GetProdCls(int ProdClsID, const std::string& ProdClsNum, TOrvClientDataSet* S,
                                     std::string& ErrorMsg) {
    return FLookups.GetProdCls(ProdClsID, ProdClsNum, S, ErrorMsg);
}

bool THostCshareProvider::PickUnits(int RootUnitID, const std::string& UnitType1,
                                    const std::string& UnitType2, const std::string& Privilege,
                                    TOrvClientDataSet* S, bool Multi, bool* AllSelected) {
    if (!FUi || !S) return false;
    // Without the right the picker is opened for, there is nothing the user may pick.
    if (!Privilege.empty() && !FSession.Authorized(Privilege)) return false;
    std::vector<std::string> Types;
    for (const std::string& T : {UnitType1, UnitType2})
        if (!T.empty()) Types.push_back(T);
    std::string TypeList;
    for (const std::string& T : Types)
        TypeList += (TypeList.empty() ? "" : ";") + T;
    std::vector<server::TUnitNode> Tree;
    if (!Listed([&] { Tree = FLookups.UnitTree(RootUnitID, TypeList); })) return false;
    std::optional<std::vector<int>> Chosen = FUi->PickUnits(Tree, Types, Multi);
    if (!Chosen || Chosen->empty()) return false;
    if (!Multi && Chosen->size() > 1) Chosen->erase(Chosen->begin() + 1, Chosen->end());

    std::map<int, const server::TUnitNode*> ById;
    int Selectable = 0;
    for (const server::TUnitNode& N : Tree) {
        ById[N.UnitID] = &N;
        if (Types.empty() || std::find(Types.begin(), Types.end(), N.UnitType) != Types.end()) ++Selectable;
    }
    std::vector<std::vector<Variant>> Rows;
    for (int Id : *Chosen) {
        auto It = ById.find(Id);
        if (It == ById.end()) continue; // the interface offered nothing by that id
        Rows.push_back({Variant(static_cast<long long>(Id)), Variant(It->second->UnitNum),
                        Variant(It->second->UnitName)});
    }
    if (Rows.empty()) return false;
    WriteRows(S, UnitFields, Rows);
    if (AllSelected) *AllSelected = static_cast<int>(Rows.size()) == Selectable;
    return true;
}

bool THostCshareProvider::SelectUnitInTree(int RootUnitID, const std::string& UnitType1,
                                           const std::string& UnitType2, const std::string& Privilege,
                                           TOrvClientDataSet* S) {
    return PickUnits(RootUnitID, UnitType1, UnitType2, Privilege, S, false, nullptr);
}

bool THostCshareProvider::SelectUnitsInTree(int RootUnitID, const std::string& UnitType1,
                                            const std::string& UnitType2, const std::string& Privilege,
                                            TOrvClientDataSet* S, bool& AllSelected) {
    AllSelected = false;
    return PickUnits(RootUnitID, UnitType1, UnitType2, Privilege, S, true, &AllSelected);
}

bool THostCshareProvider::SelectProdCls(const std::string& Filter, bool MultiSelect, TOrvClientDataSet* S) {
    if (!FUi || !S) return false;
    // The search runs inside the picker at every keystroke: a failure finds nothing, rather
    // than leaving through the toolkit's event loop, and is told once per picker, not at
    // every key the clerk types.
    bool Told = false;
    std::optional<std::vector<server::TProdClsItem>> Chosen = FUi->PickProdCls(
        [this, &Told](const std::string& Text) {
            std::vector<server::TProdClsItem> Found;
            try {
                Found = FLookups.ProdClsList(Text);
            } catch (const std::exception& E) {
                if (!std::exchange(Told, true)) Application->MessageBox(E.what(), "Quillon", MB_OK | MB_ICONERROR);
            }
            return Found;
        },
        Filter, MultiSelect);
    if (!Chosen || Chosen->empty()) return false;
    if (!MultiSelect && Chosen->size() > 1) Chosen->resize(1);
    std::vector<std::vector<Variant>> Rows;
    for (const server::TProdClsItem& I : *Chosen)
        Rows.push_back(
            {Variant(static_cast<long long>(I.ProdClsID)), Variant(I.ProdClsNum), Variant(I.ProdName)});
    WriteRows(S, ProdClsFields, Rows);
    return true;
}

bool THostCshareProvider::Listed(const std::function<void()>& Query) {
    try {
        Query();
        return true;
    } catch (const std::exception& E) {
        Application->MessageBox(E.what(), "Quillon", MB_OK | MB_ICONERROR);
        return false;
    }
}

void THostCshareProvider::SynchronizeApp(TApplication*, TApplication*) {}

} // namespace orv::shell
