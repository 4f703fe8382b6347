// A backend without a screen, for tests and scripted runs.
//
// It records what a screen would show (message boxes, windows shown, focus moves) and
// answers what a user would answer from a script: each question box (more than one button)
// takes the next queued answer, each modal window the next queued modal script, each save
// dialog the next queued file choice. A question, a modal window or a save dialog that
// finds the script empty is a failure: it is recorded in Failures(), answered with the
// box's default button, mrCancel or a cancel, and the run goes on, so the test sees it.
// Boxes with only an OK button need no answer.
//
// The User* functions act as a user does, through the components' own User* entries as a
// screen's backend does: an exception becomes a message box, as on a screen.
#pragma once

#include "host/core/DateUtils.h"
#include "host/forms/Forms.h"
#include "host/widgetset/WidgetSet.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orv {

class TOrvDBGrid;
class TOrvMeEdit;
class TDateTimePicker;
class TMenuItem;

class THeadlessWidgetSet : public TWidgetSet {
public:
    struct TMessageRecord {
        std::string Text;
        std::string Caption;
        int Flags = 0;
        int Answer = 0;
    };
    struct TFocusRecord {
        TWinControl* Control; // compare only; it may be gone by now
        std::string Name;
    };
    struct TBusyRecord {
        std::string Form; // the window's name
        std::string Caption;
        int Total = 0;
        int LastDone = 0; // the last progress reported
        bool Ended = false;
    };
    struct TSaveFileRecord {
        std::string Form; // the window's name
        std::string Title;
        std::string SuggestedName;
        std::vector<TFileFilter> Filters;
        std::optional<std::string> Answer;
    };
    using TModalScript = std::function<void(TCustomForm& Form)>;

    THeadlessWidgetSet() = default;
    ~THeadlessWidgetSet() override;

    // Makes this the application's backend until Uninstall or destruction.
    void Install();
    void Uninstall();

    // ---- the script
    void QueueAnswer(int Button);
    // The next modal window runs Script (which acts as the user through the User*
    // functions) and must end with a modal result.
    void QueueModal(TModalScript Script);
    // The next save dialog returns Path as the user's choice; nothing is a cancel.
    void QueueSaveFile(std::optional<std::string> Path);
    bool ScriptDone() const { return FAnswers.empty() && FModals.empty() && FSaveFiles.empty(); }

    // ---- what was seen
    const std::vector<TMessageRecord>& Messages() const { return FMessages; }
    const std::vector<std::string>& Failures() const { return FFailures; }
    const std::vector<TFocusRecord>& FocusRequests() const { return FFocus; }
    // Names of the windows shown, in order (a modal window too).
    const std::vector<std::string>& ShownForms() const { return FShown; }
    // Forgets everything seen so far (every record below and the property change counts),
    // so that a long scripted run keeps only what came after; the script and the live
    // handles stay.
    void ClearRecords();
    int LiveHandles() const { return static_cast<int>(FHandles.size()); }
    bool HasHandle(const TNativeComponent* C) const;
    // Property changes reported for C since its handle was made or the records were
    // last cleared.
    int ChangeCount(const TNativeComponent* C, TPropertyId Property) const;
    // Grid notifications received, oldest first.
    const std::vector<TGridChange>& GridChanges() const { return FGridChanges; }
    // Busy periods, oldest first.
    const std::vector<TBusyRecord>& BusyRuns() const { return FBusy; }
    // Save dialogs shown, oldest first.
    const std::vector<TSaveFileRecord>& SaveFileRequests() const { return FSaveFileRequests; }

    // ---- the user
    bool UserClick(TControl* Control);
    bool UserExecute(TAction* Action);
    bool UserChooseMenuItem(TMenuItem* Item);
    bool UserShortCut(TCustomForm* Form, TShortCut Key);
    void UserFocus(TWinControl* Control);
    // Moves the focus off Control onto its window; the control's OnExit runs.
    void UserLeave(TWinControl* Control);
    void UserSelectCell(TOrvDBGrid* Grid, int Row, int Col);
    // Selects the column of FieldName in the current row.
    void UserSelectColumn(TOrvDBGrid* Grid, const std::string& FieldName);
    // Types Text into the selected cell of the current row and confirms it with Enter.
    void UserTypeIntoCell(TOrvDBGrid* Grid, const std::string& Text);
    // Types Text into the selected cell of the current row without confirming it: the
    // cell's editor opens (unless it is open) and holds Text, as the user left it.
    void UserTypeWithoutEnter(TOrvDBGrid* Grid, const std::string& Text);
    // Enter and Escape in the open cell editor.
    void UserPressEnterInEditor(TOrvDBGrid* Grid);
    void UserPressEscapeInEditor(TOrvDBGrid* Grid);
    // Another window took the focus from Form.
    void UserSwitchAway(TCustomForm* Form);
    void UserClickEllipsis(TOrvDBGrid* Grid);
    void UserTypeText(TOrvMeEdit* Edit, const std::string& Text);
    void UserPickDate(TDateTimePicker* Picker, TDateTime Date);
    void UserCloseWindow(TCustomForm* Form);
    // The user dragged the window's frame until its inside measured this.
    void UserResizeWindow(TCustomForm* Form, int ClientWidth, int ClientHeight);

    // ---- TWidgetSet
    THandle CreateHandle(TNativeComponent* Component) override;
    void DestroyHandle(TNativeComponent* Component, THandle Handle) override;
    void PropertyChanged(TNativeComponent* Component, TPropertyId Property) override;
    void ShowForm(TCustomForm* Form) override;
    void HideForm(TCustomForm* Form) override;
    void RunModal(TCustomForm* Form) override;
    int MessageBox(const std::string& Text, const std::string& Caption, int Flags) override;
    std::optional<std::string> ChooseSaveFile(TCustomForm* Form, const std::string& Title,
                                              const std::string& SuggestedName,
                                              const std::vector<TFileFilter>& Filters) override;
    void SetFocus(TWinControl* Control) override;
    void Popup(TPopupMenu* Menu, int X, int Y) override;
    void GridChanged(TOrvDBGrid* Grid, TGridChange Change, int First, int Last) override;
    void BeginBusy(TCustomForm* Form, const std::string& Caption, int Total) override;
    void BusyProgress(int Done) override;
    void EndBusy() override;

private:
    // Whether the grid holds the focus, after the user clicked into it.
    bool FocusGrid(TOrvDBGrid* Grid);

    bool FInstalled = false;
    THandle FNextHandle = 0;
    std::map<THandle, const TNativeComponent*> FHandles;
    std::map<std::pair<const TNativeComponent*, TPropertyId>, int> FChanges;
    std::deque<int> FAnswers;
    std::deque<TModalScript> FModals;
    std::deque<std::optional<std::string>> FSaveFiles;
    std::vector<TSaveFileRecord> FSaveFileRequests;
    std::vector<TMessageRecord> FMessages;
    std::vector<std::string> FFailures;
    std::vector<TFocusRecord> FFocus;
    std::vector<std::string> FShown;
    std::vector<TGridChange> FGridChanges;
    std::vector<TBusyRecord> FBusy;
};

} // namespace orv
