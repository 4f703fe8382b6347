// The batch-append dialog of the consignment window: a list of shops, a list of product
// classes, two dates and a rate. It only gathers and checks them; the consignment window
// makes one row per product class and shop from what it holds once it closed with OK.
#pragma once

#include "host/data/ClientDataSet.h"
#include "host/forms/AncestorFrm.h"
#include "host/forms/ComCtrls.h"
#include "host/forms/DBGrids.h"
#include "host/forms/Menus.h"
#include "host/forms/StdCtrls.h"

#include <string>

namespace orv {

// Invariants: FUpdating is set only while the dialog itself changes a list in bulk (a
// fill, the copy of an ellipsis pick, a clear), and is given back on every path out of
// it. While it is set the number fields' text and validation handlers and the lists'
// after-events do nothing and the action states are not recomputed; the checks before a
// row is posted always run.
class TCmsRsBatchAppendForm : public TAncestorForm {
public:
    explicit TCmsRsBatchAppendForm(TComponent* AOwner);
    ~TCmsRsBatchAppendForm() override;

    TGroupBox* grpShop;
    TOrvDBGrid* grdShop;
    TGroupBox* grpProdCls;
    TOrvDBGrid* grdProdCls;
    TLabel* lblFromDate;
    TDateTimePicker* edtFromDate;
    TLabel* lblToDate;
    TDateTimePicker* edtToDate;
    TLabel* lblCmsRate;
    TOrvMeEdit* edtCmsRate;
    TBitBtn* btnAppend;
    TBitBtn* btnClose;

    TOrvClientDataSet* cdsShop;
    TBCDField* cdsShop_UC_;
    TBCDField* cdsShopSHOP_ID;
    TStringField* cdsShopSHOP_NUM;
    TStringField* cdsShopSHOP_NAME;
    TAggregateField* cdsShop_RC_CNT_;
    TDataSource* dtsShop;
    TOrvClientDataSet* cdsProdCls;
    TBCDField* cdsProdClsPROD_CLS_ID;
    TStringField* cdsProdClsPROD_CLS_NUM;
    TStringField* cdsProdClsPROD_NAME;
    TDataSource* dtsProdCls;
    // What the host's pickers and lookups write their answer into; read at once.
    TOrvClientDataSet* cdsData;

    TActionList* atlAtions;
    TAction* actNewLine;
    TAction* actNewLines;
    TAction* actDeleteLine;
    TAction* actClearLines;
    TAction* actShopNewLine;
    TAction* actShopNewLines;
    TAction* actShopDeleteLine;
    TAction* actShopClearLines;
    TPopupMenu* mnuShop;
    TMenuItem* mitShowNewLine;
    TMenuItem* mitShopNewLines;
    TMenuItem* mitShopDeleteLine;
    TMenuItem* mitShopClearLines;
    TPopupMenu* mnuProdCls;
    TMenuItem* mitNewLine;
    TMenuItem* mitNewLines;
    TMenuItem* mitDeleteLine;
    TMenuItem* mitClearLines;

    // Shows the dialog modally; true when the user confirmed with Append, every row of
    // both lists then posted.
    bool Execute();
    // The dialog's statuses: its lists are browsed, or a row of one is being edited.
    static constexpr int DialogBrowsing = 2;
    static constexpr int DialogEditing = 3;
    void SetDialogStatus(int Status);
    void ShowDialogStatus();

    void actNewLinesExecute(TComponent* Sender);
    void actDeleteLineExecute(TComponent* Sender);
    void actClearLinesExecute(TComponent* Sender);
    void actShopNewLinesExecute(TComponent* Sender);
    void actShopDeleteLineExecute(TComponent* Sender);
    void actShopClearLinesExecute(TComponent* Sender);
    void btnAppendClick(TComponent* Sender);
    void grdShopEditButtonClick(TComponent* Sender);
    void grdProdClsEditButtonClick(TComponent* Sender);
    void cdsShopSHOP_NUMValidate(TField* Sender);
    void cdsShopSHOP_NUMSetText(TField* Sender, const std::string& Text);
    void cdsProdClsPROD_CLS_NUMSetText(TField* Sender, const std::string& Text);
    void cdsProdClsPROD_CLS_NUMValidate(TField* Sender);
    void actShopNewLineExecute(TComponent* Sender);
    void actNewLineExecute(TComponent* Sender);
    void cdsShopAfterInsert(TDataSet* DataSet);
    void cdsProdClsAfterInsert(TDataSet* DataSet);
    void cdsShopBeforePost(TDataSet* DataSet);
    void cdsProdClsBeforePost(TDataSet* DataSet);
    void cdsShopAfterScroll(TDataSet* DataSet);
    void cdsShopAfterDelete(TDataSet* DataSet);
    void cdsProdClsAfterDelete(TDataSet* DataSet);
    void grdShopExit(TComponent* Sender);
    void grdProdClsExit(TComponent* Sender);
    void cdsProdClsAfterEdit(TDataSet* DataSet);
    void cdsShopAfterEdit(TDataSet* DataSet);

private:
    // Copies the rows of cdsData not yet in List (by key) into it, without lookups.
    void FillList(TOrvClientDataSet* List, const char* KeyField, const char* NumField, const char* NameField,
                  const char* DataKey, const char* DataNum, const char* DataName);
    // Copies cdsData's current row into the row of NumField, which is put into editing.
    void CopyPicked(TField* NumField, const char* KeyField, const char* NameField, const char* DataKey,
                    const char* DataNum, const char* DataName);
    void ClearList(TDataSet* List);
    void LeaveGrid(TOrvDBGrid* Grid);

    bool FUpdating = false;
    int FDialogStatus = 0;
};

} // namespace orv
