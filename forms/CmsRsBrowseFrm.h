// The consignment commission window: one rate per shop and product class over an
// inclusive date range; ranges of one shop and product class may not share a day.
#pragma once

#include "host/forms/BrowseFrm.h"

#include <string>

namespace orv {

class TCmsRsBatchAppendForm;

class TCmsRsBrowseForm : public TBrowseForm {
public:
    explicit TCmsRsBrowseForm(TComponent* AOwner);

    TBCDField* cdsMainSHOP_ID;
    TStringField* cdsMainSHOP_NUM;
    TStringField* cdsMainSHOP_NAME;
    TBCDField* cdsDetailPROD_CLS_ID;
    TStringField* cdsMainPROD_CLS_NUM;
    TStringField* cdsMainPROD_NAME;
    TDateField* cdsMainFROM_DATE;
    TDateField* cdsMainField; // TO_DATE
    TBCDField* cdsMainCMS_RATE;
    // What the host's pickers and lookups write their answer into.
    TOrvClientDataSet* cdsData;

    TAction* actNewLine;
    TAction* actNewLines;
    TAction* actClearLines;
    TAction* actDeleteLine;
    TPopupMenu* mnuMain;
    TMenuItem* mitNewLine;
    TMenuItem* mitNewLines;
    TMenuItem* mitDeletLine;
    TMenuItem* mitClearLines;

    bool InitRights() override;
    void PrepareData() override;
    void GetData() override;
    bool Save(std::string& ErrorMsg) override;
    void ShowStatus() override;

    void FormCreate(TComponent* Sender);
    void FormDestroy(TComponent* Sender);
    void cdsMainBeforeEdit(TDataSet* DataSet) override;
    void cdsMainBeforeInsert(TDataSet* DataSet) override;
    void actNewLineExecute(TComponent* Sender);
    void actNewLinesExecute(TComponent* Sender);
    void actClearLinesExecute(TComponent* Sender);
    void actDeleteLineExecute(TComponent* Sender);

    void cdsMainBeforePost(TDataSet* DataSet);
    void cdsMainSHOP_NUMSetText(TField* Sender, const std::string& Text);
    void cdsMainSHOP_NUMValidate(TField* Sender);
    void cdsMainPROD_CLS_NUMSetText(TField* Sender, const std::string& Text);
    void cdsMainPROD_CLS_NUMValidate(TField* Sender);
    // Reads the typed rate as a number first, so that one out of range, infinite or not a
    // number at all is refused with the rate's range rather than a conversion error.
    void cdsMainCMS_RATESetText(TField* Sender, const std::string& Text);
    void cdsMainCMS_RATEValidate(TField* Sender);
    void grdMainEditButtonClick(TComponent* Sender);
    // Raises when the row being posted shares a day with another row of its shop and
    // product class as they stood before the edit began.
    void CheckDateOverlap(TDataSet* DataSet);

private:
    void TakeSnapshot();
    // Runs the batch-append dialog and adds its rows; the caller frees the dialog.
    void MergeBatch(TCmsRsBatchAppendForm& Dialog);
    // Copies the picker's answer into the row with the number handlers silenced.
    void CopyPicked(TField* NumField, const char* KeyField, const char* NumFieldName, const char* NameField,
                    const char* DataKey, const char* DataNum, const char* DataName);

    // cdsMain as it stood when the current edit or insert began, in the same order, so
    // that record numbers of the two correspond. Owned: FormCreate makes it, FormDestroy
    // frees it.
    TOrvClientDataSet* FSnapshot = nullptr;
};

} // namespace orv
