#include "server/ServerLookups.h"

#include "host/data/ClientDataSet.h"
#include "host/services/Constants.h"
#include "server/PacketBuilder.h"
#include "server/Schema.h"
#include "server/ServerContext.h"

#include <algorithm>
#include <map>
#include <set>

namespace orv::server {

namespace {

const std::vector<TPacketField> ProdSortFields = {{"PROD_SORT_ID", TPacketType::ptId, 8, 0},
                                                  {"PROD_SORT_NUM", TPacketType::ptText, 0, 20},
                                                  {"DESCRIPTION", TPacketType::ptText, 0, 50}};

const std::vector<TPacketField> UnitFields = {{"UNIT_ID", TPacketType::ptId, 8, 0},
                                              {"UNIT_NUM", TPacketType::ptText, 0, 20},
                                              {"UNIT_NAME", TPacketType::ptText, 0, 50},
                                              {"UNIT_TYPE", TPacketType::ptText, 0, 1}};

const std::vector<TPacketField> ProdClsFields = {{"PROD_CLS_ID", TPacketType::ptId, 8, 0},
                                                 {"PROD_CLS_NUM", TPacketType::ptText, 0, 25},
                                                 {"PROD_NAME", TPacketType::ptText, 0, 50}};

// ";S;A;" for "S;A", so SQL can test a type with LIKE; empty when any type will do.
std::string TypeFilter(const std::string& UnitTypes) {
    std::string Filter;
    for (const std::string& T : SplitFieldNames(UnitTypes))
        Filter += ";" + T;
    return Filter.empty() ? Filter : Filter + ";";
}

// What a message calls a unit of the given types.
std::string UnitNoun(const std::string& UnitTypes) {
    std::vector<std::string> Types = SplitFieldNames(UnitTypes);
    if (Types.size() != 1) return "机构";
    if (Types[0] == UnitType_Shop) return "门店";
    if (Types[0] == UnitType_Agent) return "代理商";
    if (Types[0] == UnitType_Region) return "区域";
    if (Types[0] == UnitType_Company) return "公司";
    return "机构";
}

void RequireTarget(TOrvClientDataSet* S) {
    if (!S) throw EDatabaseError(NoTargetSetMessage);
}

// Loads the rows into S only when there is one, so a miss leaves S untouched.
bool FillOne(TOrvClientDataSet* S, const std::vector<TPacketField>& Fields, TStoreStatement& Rows) {
    std::string Xml = QueryToXml(Fields, Rows);
    TOrvClientDataSet Probe(nullptr);
    Probe.SetXMLData(Xml);
    if (Probe.IsEmpty()) return false;
    S->SetXMLData(Xml);
    return true;
}

} // namespace

bool TServerLookups::GetProductSortList(TOrvClientDataSet* S, std::string& ErrorMsg) {
    return FContext->Call(ErrorMsg, [&] {
        RequireTarget(S);
        TStatementLease Rows = FContext->Db().Prepare(
            "SELECT prod_sort_id, prod_sort_num, description FROM product_sorts ORDER BY prod_sort_num");
        S->SetXMLData(QueryToXml(ProdSortFields, *Rows));
    });
}

bool TServerLookups::GetUnit(int RootUnitID, int UnitID, const std::string& UnitNum,
                             const std::string& UnitTypes, TOrvClientDataSet* S, std::string& ErrorMsg) {
    return FContext->Call(ErrorMsg, [&] {
        RequireTarget(S);
        const bool ByNumber = UnitID == Sys_UnknownID;
        // The unit is found through its key, then the chain above it is walked up to the
        // root: the cost follows the depth of the tree, not the number of units below the
        // root, which a typed shop number would otherwise pay on every row.
        TStatementLease Rows = FContext->Db().Prepare(
            std::string("WITH RECURSIVE hit AS (SELECT unit_id, unit_num, unit_name, unit_type, parent_id "
                        "FROM units WHERE ") +
            (ByNumber ? "unit_num = ?3" : "unit_id = ?2") +
            "), chain(id) AS (SELECT unit_id FROM hit UNION SELECT u.parent_id FROM units u JOIN chain "
            "ON u.unit_id = chain.id WHERE u.parent_id IS NOT NULL) "
            "SELECT unit_id, unit_num, unit_name, unit_type FROM hit WHERE ?1 IN (SELECT id FROM chain) "
            "AND (?4 = '' OR ?4 LIKE ('%;' || unit_type || ';%'))");
        Rows->Bind(1, RootUnitID).Bind(4, TypeFilter(UnitTypes));
        if (ByNumber)
            Rows->Bind(3, UnitNum);
        else
            Rows->Bind(2, UnitID);
        if (FillOne(S, UnitFields, *Rows)) return;
        if (!ByNumber)
            throw EDatabaseError(Format("所选的%s不存在或不在可选范围内。", {UnitNoun(UnitTypes)}));
        // A number of the chain outside the root is refused as a save naming it would be,
        // so typing it tells the user no more than saving it does.
        TStatementLease Elsewhere =
            FContext->Db().Prepare("SELECT unit_num || ' ' || unit_name FROM units WHERE unit_num = ?1 "
                                   "AND (?2 = '' OR ?2 LIKE ('%;' || unit_type || ';%'))");
        Elsewhere->Bind(1, UnitNum).Bind(2, TypeFilter(UnitTypes));
        if (Elsewhere->Step())
            throw EDatabaseError(OutOfReachMessage(UnitNoun(UnitTypes), Elsewhere->Text(0), TReachContext::rcLookup));
        throw EDatabaseError(Format("%s编号 %s 不存在。", {UnitNoun(UnitTypes), UnitNum}));
    });
}

bool TServerLookups::GetProdCls(int ProdClsID, const std::string& ProdClsNum, TOrvClientDataSet* S,
                                std::string& ErrorMsg) {
    return FContext->Call(ErrorMsg, [&] {
        RequireTarget(S);
        const bool ByNumber = ProdClsID == Sys_UnknownID;
        // One key or the other, so that the search goes through that key's index.
        TStatementLease Rows = FContext->Db().Prepare(
            ByNumber
                ? "SELECT prod_cls_id, prod_cls_num, prod_name FROM product_classes WHERE prod_cls_num = ?1"
                : "SELECT prod_cls_id, prod_cls_num, prod_name FROM product_classes WHERE prod_cls_id = ?1");
        if (ByNumber)
            Rows->Bind(1, ProdClsNum);
        else
            Rows->Bind(1, ProdClsID);
        if (!FillOne(S, ProdClsFields, *Rows))
            throw EDatabaseError(ByNumber ? Format("商品品种编号 %s 不存在。", {ProdClsNum})
                                          : std::string("所选的商品品种不存在。"));
    });
}

std::vector<TUnitNode> TServerLookups::UnitTree(int RootUnitID, const std::string& UnitTypes) {
    std::lock_guard<std::mutex> Guard(FContext->Lock());
    TStatementLease Rows = FContext->Db().Prepare(
        "WITH RECURSIVE tree(id, depth) AS (SELECT ?1, 0 UNION ALL SELECT u.unit_id, tree.depth + 1 FROM "
        "units u "
        "JOIN tree ON u.parent_id = tree.id) "
        "SELECT u.unit_id, u.parent_id, u.unit_num, u.unit_name, u.unit_type FROM tree "
        "JOIN units u ON u.unit_id = tree.id ORDER BY tree.depth, u.unit_num");
    Rows->Bind(1, RootUnitID);
    std::vector<TUnitNode> All;
    std::map<int, std::size_t> IndexOf;
    while (Rows->Step()) {
        TUnitNode N{static_cast<int>(Rows->Int64(0)), Rows->IsNull(1) ? -1 : static_cast<int>(Rows->Int64(1)),
                    Rows->Text(2), Rows->Text(3), Rows->Text(4)};
        if (All.empty()) N.ParentID = -1;
        IndexOf[N.UnitID] = All.size();
        All.push_back(std::move(N));
    }
    const std::vector<std::string> Types = SplitFieldNames(UnitTypes);
    if (Types.empty()) return All;

    // Keep each unit of a wanted type and the chain above it.
    std::set<int> Keep;
    for (const TUnitNode& N : All) {
        if (std::find(Types.begin(), Types.end(), N.UnitType) == Types.end()) continue;
        for (int Id = N.UnitID; Id != -1 && Keep.insert(Id).second;)
            Id = All[IndexOf[Id]].ParentID;
    }
    std::vector<TUnitNode> Tree;
    for (TUnitNode& N : All)
        if (Keep.count(N.UnitID)) Tree.push_back(std::move(N));
    return Tree;
}

std::vector<TProdClsItem> TServerLookups::ProdClsList(const std::string& SearchText) {
    std::lock_guard<std::mutex> Guard(FContext->Lock());
    // The user's text is matched literally (% and _ are no wildcards to them) and without
    // regard to case.
    std::string Pattern;
    for (char C : SearchText) {
        if (C == '%' || C == '_' || C == '\\') Pattern += '\\';
        Pattern += C;
    }
    TStatementLease Rows = FContext->Db().Prepare(
        "SELECT prod_cls_id, prod_cls_num, prod_name, prod_sort_id FROM product_classes "
        "WHERE ?1 = '' OR lower(prod_cls_num) LIKE lower('%' || ?1 || '%') ESCAPE '\\' "
        "OR lower(prod_name) LIKE lower('%' || ?1 || '%') ESCAPE '\\' "
        "ORDER BY prod_cls_num");
    Rows->Bind(1, Pattern);
    std::vector<TProdClsItem> Items;
    while (Rows->Step())
        Items.push_back({static_cast<int>(Rows->Int64(0)), Rows->Text(1), Rows->Text(2),
                         static_cast<int>(Rows->Int64(3))});
    return Items;
}

} // namespace orv::server
