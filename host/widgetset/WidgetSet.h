// The backend interface of the form framework.
//
// The component model (host/forms) owns all behaviour; a backend only draws components and
// pumps the user's input back into them. Calls go both ways:
//
//   model -> backend  through the virtuals below, and only for a component whose handle the
//                     backend created (TNativeComponent::HandleAllocated()).
//   backend -> model  through the components' User* entry points (TControl::UserClick,
//                     TOrvDBGrid::UserEditCell, TCustomForm::UserShortCut, ...). Each
//                     checks that the user can reach the component and runs the request
//                     through Application->HandleEvent itself, so that nothing a user does
//                     can escape into the backend's event loop; a backend adds neither.
//                     The backend reports a window's size (TCustomForm::UserResize); the
//                     model lays out the controls and hands each its Placement().
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orv {

class TNativeComponent;
class TControl;
class TCustomForm;
class TWinControl;
class TPopupMenu;
class TOrvDBGrid;

// A kind of file a save dialog offers: its description ("CSV 文件") and extension, without
// the dot ("csv").
struct TFileFilter {
    std::string Description;
    std::string Extension;
    bool operator==(const TFileFilter&) const = default;
};

// Pixels: a size, a rectangle in its parent's coordinates, a border's four widths.
struct TSize {
    int Width = 0, Height = 0;
    bool operator==(const TSize&) const = default;
};
struct TBounds {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool operator==(const TBounds&) const = default;
};
struct TInsets {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TInsets&) const = default;
};

// The backend's own reference to what it made for a component; 0 means none.
using THandle = std::uintptr_t;

// A property whose change a backend must reflect. Each names the model's getter the
// backend reads back; the notification carries no value.
enum class TPropertyId {
    Caption,       // Caption() of forms, labels, buttons, group boxes, actions, menu items
    Hint,          // Hint() of actions, menu items, tool buttons
    ShortCut,      // ShortCut() of actions and menu items
    Visible,       // Visible()
    Enabled,       // Enabled()
    Bounds,        // Left(), Top(), Width(), Height(); ClientWidth()/ClientHeight() of forms
    Align,         // Align(), Anchors()
    Placement,     // Placement() of controls: where the layout put them
    Font,          // Font() of controls; column title fonts of grids
    Text,          // Text() of edits
    Date,          // Date() of date pickers
    ReadOnly,      // ReadOnly() of edits and grids
    PopupMenu,     // PopupMenu() of controls
    Action,        // Action() of menu items and tool buttons
    Items,         // the item list of a menu or menu item
    Parent,        // Parent() of a control
    TabOrder,      // TabOrder() of windowed controls
    Columns,       // columns of a grid: count, order, widths, titles, buttons, pick lists
    SelectedField, // SelectedIndex() of a grid
    BorderStyle,   // BorderStyle() of forms
    ModalResult,   // ModalResult() of a form: a modal loop ends once it is non-zero
    HelpContext,   // HelpContext() of forms
    LayoutID,      // LayoutID() of grids: the key of the user's stored column layout
    Cancel,        // Cancel() of buttons
    Style,         // Style() of tool buttons
    DataSource,    // DataSource() of grids
};

// What changed in the rows a grid shows. First/Last are display rows (see
// TDataSet::DisplayRowCount); Reset means "re-read everything".
enum class TGridChange {
    Reset,
    RowsAboutToBeInserted,
    RowsInserted,
    RowsAboutToBeRemoved,
    RowsRemoved,
    RowChanged,
    CurrentChanged, // the current row moved (the data set scrolled)
    EditingChanged, // the data set entered or left edit/insert state
    // The cell editor's text went to its field: close the editor (without handing it
    // anything again).
    EditorClosed,
    // The field refused the editor's text: keep the editor open with the text as typed,
    // selected and focused, so the user can correct it.
    EditorRefused,
};

class TWidgetSet {
public:
    virtual ~TWidgetSet() = default;

    // Makes the native counterpart of Component. Called parents first: a control's parent,
    // and the actions and menus a control refers to, already have their handles.
    virtual THandle CreateHandle(TNativeComponent* Component) = 0;
    // Called children first. During a component's own destruction only Handle may be used:
    // Component is then no longer a complete object.
    virtual void DestroyHandle(TNativeComponent* Component, THandle Handle) = 0;
    virtual void PropertyChanged(TNativeComponent* Component, TPropertyId Property) = 0;

    virtual void ShowForm(TCustomForm* Form) = 0;
    virtual void HideForm(TCustomForm* Form) = 0;
    // Runs a nested event loop until Form->ModalResult() is non-zero. The form is already
    // realised and visible; the model hides it afterwards.
    virtual void RunModal(TCustomForm* Form) = 0;

    // Flags and results as the classic message box: MB_YESNO, MB_ICONQUESTION,
    // MB_DEFBUTTON2..., IDYES, IDNO... (host/forms/Forms.h).
    virtual int MessageBox(const std::string& Text, const std::string& Caption, int Flags) = 0;

    // Asks the user of Form where to save a file: Title heads the dialog, SuggestedName is
    // the name it starts from, Filters the kinds offered (the first preselected). Returns
    // the chosen path, which ends in the extension of one of Filters (a name that ends in
    // none of them gets the chosen filter's), or nothing when the user cancels.
    virtual std::optional<std::string> ChooseSaveFile(TCustomForm* Form, const std::string& Title,
                                                      const std::string& SuggestedName,
                                                      const std::vector<TFileFilter>& Filters) = 0;

    // The model moved the input focus to Control (its form is showing).
    virtual void SetFocus(TWinControl* Control) = 0;
    virtual void Popup(TPopupMenu* Menu, int X, int Y) = 0;
    virtual void GridChanged(TOrvDBGrid* Grid, TGridChange Change, int First, int Last) = 0;

    // Measures the model's layout needs (TWinControl::Realign); where a control goes is the
    // model's to say. Asked only about components whose handle this backend made.
    // The size the toolkit gives Control where its designed width or height is 0, and the
    // room a label's text needs.
    virtual TSize PreferredSize(const TControl* /*Control*/) { return {}; }
    // The border inside Container that its aligned controls keep clear of (a group box's
    // title).
    virtual TInsets ClientInsets(const TWinControl* /*Container*/) { return {}; }

    // Lets pending native events run (Application->ProcessMessages).
    virtual void ProcessMessages() {}

    // Work that keeps the user of Form waiting (TBusyScope): a busy cursor from Begin to
    // End, and Done out of Total reported as the work goes on. A backend may show the
    // progress once the work takes long, and repaint meanwhile, but must not hand the user's
    // input to the model before End.
    virtual void BeginBusy(TCustomForm* /*Form*/, const std::string& /*Caption*/, int /*Total*/) {}
    virtual void BusyProgress(int /*Done*/) {}
    virtual void EndBusy() {}
};

} // namespace orv
