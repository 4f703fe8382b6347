// The browse form: a window that lists rows in a grid, edits them and saves the changes.
#pragma once

#include "host/data/ClientDataSet.h"
#include "host/forms/AncestorFrm.h"
#include "host/forms/ComCtrls.h"
#include "host/forms/DBGrids.h"
#include "host/forms/Menus.h"
#include "host/forms/StdCtrls.h"

#include <memory>
#include <string>
#include <vector>

namespace orv {

// A filter a caller hands to a browse form: conditions on fields, all of which must hold.
class TOrvConditionTree {
public:
    struct TCondition {
        std::string FieldName;
        std::string Operator; // "=", "<>", "<", "<=", ">", ">=", "LIKE"
        Variant Value;
    };
    void Add(const std::string& FieldName, const std::string& Operator, const Variant& Value);
    const std::vector<TCondition>& Conditions() const { return FConditions; }
    bool Empty() const { return FConditions.empty(); }

private:
    std::vector<TCondition> FConditions;
};

// The status a browse window keeps. Status() reads it as its number, which windows and the
// host compare against, so the values are fixed.
enum class TBrowseStatus : int {
    Empty = 1,    // no rows (or the set is closed)
    Browsing = 2, // rows, nothing unsaved
    Unsaved = 3,  // HasUnsavedChanges
};

//
// Rules every browse window follows:
// - Show: InitRights (false: a "no right to view" message, the window is released without
//   being shown), PrepareData, realise, show, PostOpen, status from the data. An exception
//   from InitRights or PrepareData reaches Show's caller; the window is then released.
// - Permission1 view, Permission2 add (btnNew), Permission3 delete (btnDelete),
//   Permission4 change and save, Permission5 export (actExport). cdsMain itself refuses
//   what the rights do not allow.
// - Every command (save, refresh, close, new, delete, any action) first hands text typed
//   into a cell to its field; a refused text stops the command and stays in the editor.
// - Save command: settle the pending row, Save(ErrorMsg); false shows ErrorMsg titled with
//   the caption and keeps every change; true merges the change log, PostSave, status.
// - Closing or reloading with unsaved changes asks whether to save them first.
// - Export command: writes the grid as it shows its rows to a CSV or XLSX file the user
//   chooses; nothing in the window changes. Its item is appended to the grid's popup menu
//   when the window is shown (a grid without one gets one).
class TBrowseForm : public TFuncForm {
public:
    explicit TBrowseForm(TComponent* AOwner);
    ~TBrowseForm() override;

    // Loads what the window shows: GetData.
    void PrepareData() override;
    bool InitRights() override;
    void ShowStatus() override;
    // Whether the current row may be changed or deleted.
    virtual bool GetRecordCanModify();
    virtual bool GetRecordCanDelete();
    // Brings the record count up to date.
    virtual void ShowNavigator();
    // The details of the current row (btnDetail) and the window's filter (btnFilter);
    // a window without them hides their buttons.
    virtual void ShowDetail();
    virtual void ShowFilter();
    // Loads cdsMain.
    virtual void GetData();
    // Runs after each load the framework starts.
    virtual void PostGetData();
    // Sends the pending changes; false leaves the reason in ErrorMsg.
    virtual bool Save(std::string& ErrorMsg);
    // Runs after a successful save has been merged.
    virtual void PostSave();
    void Show() override;
    // Opens the window with a filter for GetData to apply.
    virtual void Show(TOrvConditionTree* Condition, bool AutoRefresh);
    // Runs the window modally as a picker; on OK copies the chosen row (all rows when
    // MultiSelect) into Result and returns true.
    virtual bool Select(TOrvConditionTree* Condition, bool MultiSelect, TOrvClientDataSet* Result);

    // The framework's handlers of cdsMain.BeforeEdit and BeforeInsert. A window that
    // overrides one calls this one first.
    virtual void cdsMainBeforeEdit(TDataSet* DataSet);
    virtual void cdsMainBeforeInsert(TDataSet* DataSet);

    // Holds a server's answer to a delta and merges it into a data set.
    TOrvUpdateDataSet* GetUpdateDataSet();
    // The filter of the last Show or Select; null when none.
    TOrvConditionTree* Condition() const { return FCondition; }

    // The framework's commands, as the tool bar runs them.
    void NewRecord();
    void DeleteRecord();
    // Returns whether everything was saved.
    bool SaveData();
    void RefreshData();
    void ExportData();
    bool CloseQuery() override;

    // Unsaved changes: a change log, a modified row being edited or inserted, or text
    // typed into a cell and not yet confirmed. An untouched new row is none: leaving it
    // drops it. Status, the save command and the close question all go by this.
    bool HasUnsavedChanges() const;
    void PendingEditChanged() override;
    // Recomputes Status from cdsMain and shows it.
    void UpdateStatus();
    TBrowseStatus BrowseStatus() const;
    using TFuncForm::SetStatus; // a window's own number, as in SetStatus(3)
    void SetStatus(TBrowseStatus Value);

    TOrvClientDataSet* cdsMain;
    TDataSource* dtsMain;
    TToolBar* tlbStandard;
    TToolButton* btnSelect;
    TToolButton* btnSep1;
    TToolButton* btnNew;
    TToolButton* btnDelete;
    TToolButton* btnSave;
    TToolButton* btnSep2;
    TToolButton* btnRefresh;
    TToolButton* btnExport;
    TToolButton* btnDetail;
    TToolButton* btnSep3;
    TToolButton* btnFunctions;
    TToolButton* btnSep4;
    TToolButton* btnFilter;
    TToolButton* btnSep5;
    TToolButton* btnClose;
    TOrvDBGrid* grdMain;
    TPanel* pnlStatus;
    TLabel* lblCount;
    TLabel* txtCount;
    // The left of the status strip: "只读" in a window the user may not change, and why a
    // key typed into the grid did nothing.
    TLabel* lblHint;
    TActionList* atlAtions;
    TAction* actNew;
    TAction* actDelete;
    TAction* actSave;
    TAction* actRefresh;
    TAction* actClose;
    TAction* actExport;
    // The export command in the grid's popup menu, after a separator when the menu has
    // items of its own.
    TMenuItem* mitExportSep;
    TMenuItem* mitExport;

    bool Permission1 = false;
    bool Permission2 = false;
    bool Permission3 = false;
    bool Permission4 = false;
    bool Permission5 = false;
    void ShowStatusHint(const std::string& Text) override;
    // Set by a window while it writes rows itself, to silence its own field handlers.
    bool Updating = false;

private:
    class TStatusLink;
    void ApplyPermissions();
    void PlaceExportItem();
    bool AskToSaveChanges();
    TBrowseStatus ComputeStatus() const;

    std::unique_ptr<TStatusLink> FStatusLink;
    TOrvUpdateDataSet* FUpdateDataSet = nullptr;
    TOrvConditionTree* FCondition = nullptr;
    bool FSelecting = false;
};

} // namespace orv
