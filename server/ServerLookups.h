// The lookups the windows run through the host (categories, a unit or product class by
// number) and the queries behind the host's pickers. The lookup methods have the
// signatures of ICshareProvider's, so a host's provider forwards to them unchanged.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace orv {
class TOrvClientDataSet;
}

namespace orv::server {

class TServerContext;

struct TUnitNode {
    int UnitID = 0;
    int ParentID = -1; // -1 for the root of the returned tree
    std::string UnitNum;
    std::string UnitName;
    std::string UnitType;
};

struct TProdClsItem {
    int ProdClsID = 0;
    std::string ProdClsNum;
    std::string ProdName;
    int ProdSortID = 0;
};

class TServerLookups {
public:
    explicit TServerLookups(std::shared_ptr<TServerContext> Context) : FContext(std::move(Context)) {}

    // Each writes its result into S (structure and rows) and leaves S on the first row;
    // on failure returns false with the reason in ErrorMsg and leaves S as it was.
    bool GetProductSortList(TOrvClientDataSet* S, std::string& ErrorMsg);
    bool GetUnit(int RootUnitID, int UnitID, const std::string& UnitNum, const std::string& UnitTypes,
                 TOrvClientDataSet* S, std::string& ErrorMsg);
    bool GetProdCls(int ProdClsID, const std::string& ProdClsNum, TOrvClientDataSet* S,
                    std::string& ErrorMsg);

    // RootUnitID and the units below it, parents before children, siblings by number.
    // With UnitTypes (';'-separated codes) only units of those types are kept, with the
    // units above them so that the tree still hangs together.
    std::vector<TUnitNode> UnitTree(int RootUnitID, const std::string& UnitTypes);
    // Product classes by number; a search text keeps those whose number or name contains it.
    std::vector<TProdClsItem> ProdClsList(const std::string& SearchText);

private:
    std::shared_ptr<TServerContext> FContext;
};

} // namespace orv::server
