// A host for the plug-in in tests: it loads the real library, gives it a session whose
// business objects and lookups are recording fakes, and drives its windows headlessly.
#pragma once

#include "host/data/ClientDataSet.h"
#include "host/forms/BrowseFrm.h"
#include "host/services/BusinessIntf.h"
#include "host/services/Cshare.h"
#include "host/services/SysInfo.h"
#include "host/widgetset/HeadlessWidgetSet.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace test {

// The library's exports.
struct TPlugin {
    void (*Initialize)(orv::TSysInfo*) = nullptr;
    void (*CmsShfMan)() = nullptr;
    void (*CmsQtyMan)() = nullptr;
    void (*CmsValMan)() = nullptr;
    void (*CmsRsMan)() = nullptr;
};
// Loaded once and kept for the whole run: windows made by its code may outlive a test.
const TPlugin& Plugin();

// What one kind of fake business object answers, and what it saw.
struct TBeanScript {
    bool LoadResult = true;
    std::string LoadData; // packed
    std::string LoadError;
    bool Throws = false;
    bool SaveResult = true;
    std::string SaveResultData; // packed
    std::string SaveError;

    int Created = 0;
    int Released = 0;
    int Loads = 0;
    int Saves = 0;
    std::string SessionID;
    int UnitID = 0;
    std::string PackedDelta;
    std::string ErrorMsgOnEntry;
};

// The business objects of one session; Order lists each call as "Class.Method".
struct TBeans {
    TBeanScript Shf, Qty, Val, Rs, WorkTimetable;
    std::vector<std::string> Order;
    // Registers the five classes with the session.
    void Register(orv::TSysInfo& Session);
};

// A shop or product class as the lookups and pickers give it.
struct TCshareItem {
    int ID = 0;
    std::string Num;
    std::string Name;
};

// The host's lookups and pickers, as far as these windows use them.
class TFakeCshare : public orv::ICshareProvider {
public:
    // Off, the four row lookups and pickers are unexpected calls; on, they answer from
    // Shops and ProdClss and the picks below, and record each call in Calls.
    bool RowLookups = false;
    std::vector<TCshareItem> Shops, ProdClss;
    std::optional<TCshareItem> UnitPick, ProdClsPick; // empty: the user cancels
    // What the multiple-choice pickers answer, in the picker's order; empty: cancelled.
    std::optional<std::vector<TCshareItem>> UnitsPick, ProdClssPick;
    std::vector<std::string> Calls;
    // Runs inside a picker, before it answers: sees the window as the picker finds it.
    std::function<void()> DuringPick;

    bool ProdSortResult = true;
    std::string ProdSortError;
    std::string ProdSortPacket;
    int ProdSortCalls = 0;
    std::string ProdSortTarget; // name of the data set handed in
    std::vector<std::pair<orv::TApplication*, orv::TApplication*>> Synchronized;
    std::vector<std::string> Unexpected;

    bool GetProductSortList(orv::TOrvClientDataSet* S, std::string& ErrorMsg) override;
    bool GetUnit(int, int, const std::string&, const std::string&, orv::TOrvClientDataSet*,
                 std::string&) override;
    bool GetProdCls(int, const std::string&, orv::TOrvClientDataSet*, std::string&) override;
    bool SelectUnitInTree(int, const std::string&, const std::string&, const std::string&,
                          orv::TOrvClientDataSet*) override;
    bool SelectUnitsInTree(int, const std::string&, const std::string&, const std::string&,
                           orv::TOrvClientDataSet*, bool&) override;
    bool SelectProdCls(const std::string&, bool, orv::TOrvClientDataSet*) override;
    void SynchronizeApp(orv::TApplication* HostApp, orv::TApplication* ModuleApp) override;
};

std::string Pack(const std::string& Xml);

// Packets the fakes answer with.
extern const char* ShiftListXml; // SHF_ID 1 早班, 2 晚班
extern const char* ShfRowsXml;   // (1, 100.00), (2, 80.50)
extern const char* ProdSortXml;  // PROD_SORT_ID 10 饮料, 20 零食
extern const char* QtyRowsXml;   // (10, 1.00)
extern const char* ValRowsXml;   // (10, 0.0500)
// Shop 1 一店 / class 10 饮料, January 2026, 0.0500; shop 2 二店 / class 10, January,
// 0.0600; shop 1 / class 20 零食, January, 0.0700.
extern const char* RsRowsXml;

// A session with every right, unit 12, session "S-1", the fakes, a headless screen, and
// the plug-in initialised with it.
class PluginTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs a launcher and returns the window it opened.
    orv::TBrowseForm* Open(void (*Launcher)());
    template <class T> T* Get(orv::TBrowseForm* Form, const char* Name) {
        T* C = dynamic_cast<T*>(Form->FindComponent(Name));
        EXPECT_NE(C, nullptr) << Name;
        return C;
    }
    // Types Text into the cell of FieldName in display row Row.
    void Type(orv::TBrowseForm* Form, int Row, const std::string& FieldName, const std::string& Text);

    orv::THeadlessWidgetSet WS;
    orv::TSysInfo Session;
    TBeans Beans;
    TFakeCshare Cshare;
    std::set<std::string> Granted;
};

} // namespace test
