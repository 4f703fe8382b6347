// The data-aware grid.
#pragma once

#include "host/data/DB.h"
#include "host/forms/ActnList.h"
#include "host/forms/Controls.h"

#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orv {

class TOrvDBGrid;

enum class TColumnButtonStyle { cbsAuto, cbsEllipsis, cbsNone };

// A grid's columns as a user arranged them, the way the host keeps them per user and
// LayoutID.
struct TGridLayout {
    // Field names, left to right.
    std::vector<std::string> Order;
    // Pixels, by field name; a column left at the toolkit's default width has none.
    std::map<std::string, int> Widths;
    bool Empty() const { return Order.empty() && Widths.empty(); }
};

// One column of a grid, bound to a field by name. Settings are kept as given; what is not
// set comes from the field (title caption) or the grid (title font).
class TColumn {
public:
    explicit TColumn(TOrvDBGrid* Grid) : FGrid(Grid) {}

    TOrvDBGrid* Grid() const { return FGrid; }
    int Index() const;

    const std::string& FieldName() const { return FFieldName; }
    void SetFieldName(const std::string& Value);
    // The field of the grid's data set with that name; null while there is none.
    TField* Field() const;

    // Pixels; 0 keeps the toolkit's default width.
    int Width() const { return FWidth; }
    void SetWidth(int Value);
    TColumnButtonStyle ButtonStyle() const { return FButtonStyle; }
    void SetButtonStyle(TColumnButtonStyle Value);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool Value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool Value);

    // The field's display label unless a caption was given.
    std::string TitleCaption() const;
    void SetTitleCaption(const std::string& Value);
    // The grid's title font unless one was given.
    const TFont& TitleFont() const;
    void SetTitleFont(const TFont& Value);
    bool TitleFontAssigned() const { return FTitleFontAssigned; }

    // Values offered in a drop-down list: for a lookup field the result values of its
    // lookup data set, in that set's order.
    std::vector<std::string> PickList() const;
    // The drop-down's entries: each pick-list value with the code that names it to the
    // user (the lookup row's text fields other than its key and the value shown; empty
    // when the set has none).
    struct TPickItem {
        std::string Text;
        std::string Code;
    };
    std::vector<TPickItem> PickItems() const;

private:
    friend class TOrvDBGrid;
    void Changed();
    TOrvDBGrid* FGrid;
    std::string FFieldName;
    int FWidth = 0;
    TColumnButtonStyle FButtonStyle = TColumnButtonStyle::cbsAuto;
    bool FReadOnly = false;
    bool FVisible = true;
    std::string FTitleCaption;
    bool FTitleCaptionAssigned = false;
    TFont FTitleFont;
    bool FTitleFontAssigned = false;
};

// A grid over the rows of a data source. Its current row is the data set's current record;
// its selected column is SelectedIndex. The grid listens to the data set as a data link and
// answers a field's focus request by selecting the field's column and taking the focus.
class TOrvDBGrid : public TWinControl, private TDataLink {
public:
    explicit TOrvDBGrid(TComponent* AOwner);
    ~TOrvDBGrid() override;

    TDataSource* DataSource() const { return TDataLink::DataSource(); }
    void SetDataSource(TDataSource* Value);
    // The data set the grid shows (null without one).
    TDataSet* GetActiveDataSet() const { return TDataLink::DataSet(); }

    // Columns, in order; the grid owns them.
    int ColumnCount() const { return static_cast<int>(FColumns.size()); }
    TColumn* Column(int Index) const { return FColumns.at(static_cast<std::size_t>(Index)).get(); }
    TColumn* AddColumn(const std::string& FieldName = {});
    // Moves a column to another place, as a user drags it (the layout LayoutID stores);
    // the selected column stays selected.
    void MoveColumn(int From, int To);
    TColumn* FindColumn(const TField* Field) const;

    // The selected column (-1 while there are no columns) and its field.
    int SelectedIndex() const { return FSelectedIndex; }
    void SetSelectedIndex(int Value);
    TColumn* SelectedColumn() const;
    TField* SelectedField() const;

    const std::string& LayoutID() const { return FLayoutID; }
    void SetLayoutID(const std::string& Value);
    // Puts the columns in the layout's order (columns it does not name keep their order
    // after those it does; names the grid no longer has are passed over) and gives them
    // its widths.
    void ApplyLayout(const TGridLayout& Layout);
    // The columns' order and widths as they are now.
    TGridLayout CurrentLayout() const;
    // Whether the layout came from the store or the user changed it: only then is it
    // kept, so a window's own later layout reaches users who never touched theirs.
    bool LayoutTouched() const { return FLayoutTouched; }
    const TFont& TitleFont() const { return FTitleFont; }
    void SetTitleFont(const TFont& Value);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool Value);

    TNotifyEvent OnEditButtonClick;

    // Rows as drawn: the data set's display rows, the row being inserted included.
    int RowCount() const;
    int CurrentRow() const;
    std::string CellText(int Row, int Col) const;
    // The text a cell editor starts from: the field's own text, not its display form.
    std::string CellEditText(int Row, int Col) const;
    // Whether the user may type into the column's cells now.
    bool CanEditColumn(int Col) const;

    // Backend entry points for the user's input. Each runs through
    // Application->HandleEvent; those that start something act only while the grid
    // TakesUserInput.
    // Makes Row (a display row) current and Col selected; leaving a row settles it.
    // Returns whether that cell is now the current one.
    bool UserSelectCell(int Row, int Col);
    // Text typed into the cell (Row, Col), as a cell editor hands it over: the cell
    // becomes current (the text is dropped when settling the row left moved it), the data
    // set goes into edit (or insert, on an empty set) and the field gets the text through
    // SetText. For a lookup column the text is one of PickList(), which sets the key
    // field(s) to the matching row's keys; empty text clears them. Returns whether the
    // field took the text.
    bool UserEditCell(int Row, int Col, const std::string& Text);
    // The ellipsis button of the cell (Row, Col): the cell becomes current, then
    // OnEditButtonClick runs. Every backend's button, drawn or in an editor, ends here.
    void UserClickEllipsis(int Row, int Col);
    // The grid's own keys, as a data grid has them: Down on the last row appends a row
    // (from an untouched new row it stays there), Escape with no cell editor open drops
    // the current row's unposted changes (a new row disappears). True when the key was
    // the grid's to handle; other keys and these in other situations are not.
    bool UserKey(TShortCut Key);
    // The user typed into a cell of Col that takes no typing: the window's status says
    // why (CannotEditReason).
    void UserTypedIntoReadOnlyCell(int Col);
    // The user dragged a column to another place, or to another width (pixels). The
    // columns keep both, and LayoutTouched() says the layout is the user's to keep.
    void UserMoveColumn(int From, int To);
    void UserResizeColumn(int Col, int Width);
    // Why the user cannot type into Col now; empty when they can.
    std::string CannotEditReason(int Col) const;

    // The cell editor the backend has open. The grid holds what it shows, so that no
    // command can pass typed text by: every command of the window, a move to another
    // cell and leaving the grid commit it first (CommitPendingEdit).
    bool EditorOpen() const { return FEditor.Open; }
    const std::string& EditorText() const { return FEditor.Text; }
    // Backend entry points of the editor: it opened on a cell (with the cell's edit text),
    // its text is now Text (typed, not yet confirmed), the user dropped it (Escape) or
    // confirmed it (Enter, leaving it; false when the field refused the text). An editor
    // once open finishes even while its window goes away, so these check nothing.
    void UserOpenEditor(int Row, int Col);
    void UserEditorText(const std::string& Text);
    void UserCancelEditor();
    bool UserCommitEditor();
    // A changed editor text goes to its field the way UserEditCell hands it over, and the
    // editor closes. A refusal raises a TUserException titled with the window's caption
    // and keeps the editor open with the text as typed.
    bool HasPendingEdit() const override;
    void CommitPendingEdit() override;

    void Notification(TComponent* AComponent) override;

protected:
    void ActiveChanged() override;
    void LayoutChanged() override;
    void DataSetChanged() override;
    void DataSetScrolled() override;
    void EditingChanged() override;
    void RowsAboutToBeInserted(int First, int Last) override;
    void RowsInserted(int First, int Last) override;
    void RowsAboutToBeRemoved(int First, int Last) override;
    void RowsRemoved(int First, int Last) override;
    // A value set in a field comes with its row's RowChanged; the grid listens to that
    // alone, so a typed value redraws its row once.
    void RowChanged(int Row) override;
    void FocusControl(TField* Field, bool& Handled) override;
    void DoExit() override;

private:
    friend class TColumn;
    void ColumnsChanged();
    void Notify(TGridChange Change, int First = -1, int Last = -1);
    bool GridKey(TShortCut Key);
    // Moves the column without telling anyone.
    void PlaceColumn(int From, int To);
    // Makes the cell current, settling the row being left; returns whether it is current
    // then (settling may move the rows: a new row left untouched goes away).
    bool SelectCell(int Row, int Col);
    // SelectCell without committing the editor first.
    void MoveToCell(int Row, int Col);
    // Hands Text to the selected cell's field; a refusal raises as the window's message.
    void EditSelectedCell(const std::string& Text);
    void EditCell(const std::string& Text);
    void OpenEditor(int Row, int Col);
    // Called from a catch block only: rethrows E as the window's message.
    [[noreturn]] void RethrowAsWindowMessage(const std::exception& E) const;
    void EditorChanged(bool WasModified);

    // Invariant: while Open, Row and Col are the display cell edited.
    struct TEditor {
        bool Open = false;
        int Row = -1, Col = -1;
        std::string Original; // the cell's edit text when the editor opened
        std::string Text;
        bool Modified() const { return Open && Text != Original; }
    };
    TEditor FEditor;

    std::vector<std::unique_ptr<TColumn>> FColumns;
    int FSelectedIndex = -1;
    std::string FLayoutID;
    bool FLayoutTouched = false;
    TFont FTitleFont;
    bool FReadOnly = false;
};

} // namespace orv
