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

// The refusal of a lookup given no data set to write its result into.
inline constexpr const char* NoTargetSetMessage = "没有提供接收查询结果的数据集。";

// The lookups as a client reaches them: in-process (TServerLookups) or through the network.
class ILookups {
public:
    virtual ~ILookups() = default;

    // Each writes its result into S (structure and rows) and leaves S on the first row;
    // on failure returns false with the reason in ErrorMsg and leaves S as it was.
    virtual bool GetProductSortList(TOrvClientDataSet* S, std::string& ErrorMsg) = 0;
    virtual bool GetUnit(int RootUnitID, int UnitID, const std::string& UnitNum, const std::string& UnitTypes,
                         TOrvClientDataSet* S, std::string& ErrorMsg) = 0;
    virtual bool GetProdCls(int ProdClsID, const std::string& ProdClsNum, TOrvClientDataSet* S,
                            std::string& ErrorMsg) = 0;

    // RootUnitID and the units below it, parents before children, siblings by number.
    // With UnitTypes (';'-separated codes) only units of those types are kept, with the
    // units above them so that the tree still hangs together.
    virtual std::vector<TUnitNode> UnitTree(int RootUnitID, const std::string& UnitTypes) = 0;
    // Product classes by number; a search text keeps those whose number or name contains it.
    virtual std::vector<TProdClsItem> ProdClsList(const std::string& SearchText) = 0;
};

class TServerLookups : public ILookups {
public:
    explicit TServerLookups(std::shared_ptr<TServerContext> Context) : FContext(std::move(Context)) {}

    bool GetProductSortList(TOrvClientDataSet* S, std::string& ErrorMsg) override;
    bool GetUnit(int RootUnitID, int UnitID, const std::string& UnitNum, const std::string& UnitTypes,
                 TOrvClientDataSet* S, std::string& ErrorMsg) override;
    bool GetProdCls(int ProdClsID, const std::string& ProdClsNum, TOrvClientDataSet* S,
                    std::string& ErrorMsg) override;
    std::vector<TUnitNode> UnitTree(int RootUnitID, const std::string& UnitTypes) override;
    std::vector<TProdClsItem> ProdClsList(const std::string& SearchText) override;

private:
    std::shared_ptr<TServerContext> FContext;
};

} // namespace orv::server
