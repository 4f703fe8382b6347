// Lookups and pickers the host offers to every window. Each delegates to the provider
// that the host application installs (the server's lookups and the toolkit's dialogs in
// the desktop host, fakes in tests); without one they raise EDatabaseError.
//
// Every routine writes its result into the data set S it is given (replacing S's
// structure and rows) and leaves S's current row on the first result.
#pragma once

#include <memory>
#include <string>

namespace orv {

class TOrvClientDataSet;
class TApplication;

class ICshareProvider {
public:
    virtual ~ICshareProvider() = default;
    // All product categories: PROD_SORT_ID, PROD_SORT_NUM, DESCRIPTION.
    virtual bool GetProductSortList(TOrvClientDataSet* S, std::string& ErrorMsg) = 0;
    // One unit below RootUnitID, by id, or by number when UnitID is Sys_UnknownID, of the
    // given unit type(s) (one type code or several separated by ';'): UNIT_ID, UNIT_NUM,
    // UNIT_NAME, UNIT_TYPE.
    virtual bool GetUnit(int RootUnitID, int UnitID, const std::string& UnitNum, const std::string& UnitTypes,
                         TOrvClientDataSet* S, std::string& ErrorMsg) = 0;
    // One product class by id, or by number when ProdClsID is Sys_UnknownID:
    // PROD_CLS_ID, PROD_CLS_NUM, PROD_NAME.
    virtual bool GetProdCls(int ProdClsID, const std::string& ProdClsNum, TOrvClientDataSet* S,
                            std::string& ErrorMsg) = 0;
    // Pickers: true when the user chose; false when cancelled (S unchanged).
    virtual bool SelectUnitInTree(int RootUnitID, const std::string& UnitType1, const std::string& UnitType2,
                                  const std::string& Privilege, TOrvClientDataSet* S) = 0;
    virtual bool SelectUnitsInTree(int RootUnitID, const std::string& UnitType1, const std::string& UnitType2,
                                   const std::string& Privilege, TOrvClientDataSet* S, bool& AllSelected) = 0;
    virtual bool SelectProdCls(const std::string& Filter, bool MultiSelect, TOrvClientDataSet* S) = 0;
    // The plug-in's application object and the host's become one.
    virtual void SynchronizeApp(TApplication* HostApp, TApplication* ModuleApp) = 0;
};

// Installs the provider for all later calls (nullptr removes it); the caller keeps ownership.
void SetCshareProvider(ICshareProvider* Provider);
ICshareProvider* GetCshareProvider();

bool GetProductSortList(TOrvClientDataSet* S, std::string& ErrorMsg);
bool GetUnit(int RootUnitID, int UnitID, const std::string& UnitNum, const std::string& UnitTypes,
             TOrvClientDataSet* S, std::string& ErrorMsg);
bool GetProdCls(int ProdClsID, const std::string& ProdClsNum, TOrvClientDataSet* S, std::string& ErrorMsg);
bool SelectUnitInTree(int RootUnitID, const std::string& UnitType1, const std::string& UnitType2,
                      const std::string& Privilege, TOrvClientDataSet* S);
bool SelectUnitsInTree(int RootUnitID, const std::string& UnitType1, const std::string& UnitType2,
                       const std::string& Privilege, TOrvClientDataSet* S, bool& AllSelected);
bool SelectProdCls(const std::string& Filter, bool MultiSelect, TOrvClientDataSet* S);
void SynchronizeApp(TApplication* HostApp, TApplication* ModuleApp);

} // namespace orv
