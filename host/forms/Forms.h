// Windows and the application object that owns them.
#pragma once

#include "host/forms/ActnList.h"
#include "host/forms/Controls.h"

#include <functional>
#include <string>
#include <vector>

namespace orv {

class TActionList;

// Message box flags and answers, as the classic message box takes and gives them.
inline constexpr int MB_OK = 0x0;
inline constexpr int MB_OKCANCEL = 0x1;
inline constexpr int MB_ABORTRETRYIGNORE = 0x2;
inline constexpr int MB_YESNOCANCEL = 0x3;
inline constexpr int MB_YESNO = 0x4;
inline constexpr int MB_RETRYCANCEL = 0x5;
inline constexpr int MB_TYPEMASK = 0xF;
inline constexpr int MB_ICONERROR = 0x10;
inline constexpr int MB_ICONQUESTION = 0x20;
inline constexpr int MB_ICONWARNING = 0x30;
inline constexpr int MB_ICONINFORMATION = 0x40;
inline constexpr int MB_ICONMASK = 0xF0;
inline constexpr int MB_DEFBUTTON1 = 0x000;
inline constexpr int MB_DEFBUTTON2 = 0x100;
inline constexpr int MB_DEFBUTTON3 = 0x200;
inline constexpr int MB_DEFMASK = 0xF00;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// The buttons a box of these flags shows, in order, and the one it preselects.
std::vector<int> MessageBoxButtons(int Flags);
int MessageBoxDefaultButton(int Flags);

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TPosition { poDesigned, poDefault, poScreenCenter, poMainFormCenter, poOwnerFormCenter };
// What Close does with a form that agreed to close.
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

using TCloseEvent = std::function<void(TComponent* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TComponent* Sender, bool& CanClose)>;

// A window.
//
// Lifetime: a form belongs to its owner (Application for a top-level window). It is freed
// with Free(), or with Release() from inside its own event handlers; both run OnDestroy
// while the whole object still exists. OnCreate runs once the complete object exists: at
// the first Show, ShowModal or realise, or when its creator calls AfterConstruction().
class TCustomForm : public TWinControl {
public:
    explicit TCustomForm(TComponent* AOwner);
    ~TCustomForm() override;

    void AfterConstruction();
    bool Created() const { return FCreated; }
    // Runs OnDestroy, frees the forms this one owns, then deletes it.
    void Free();
    // Frees the form once the event being handled is over.
    void Release();
    // True from the moment Free begins (OnDestroy, the subclass destructors, the owned
    // components going) until the object is gone. What the framework would dispatch to a
    // subclass's overrides by then stops here: the subclass may already be partly freed.
    bool Destroying() const { return FDestroying; }

    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle Value);
    TPosition Position() const { return FPosition; }
    void SetPosition(TPosition Value) { FPosition = Value; }
    // Size of the inside of the window; 0 while only the outer size was given.
    int ClientWidth() const { return FClientWidth; }
    int ClientHeight() const { return FClientHeight; }
    void SetClientWidth(int Value);
    void SetClientHeight(int Value);
    // The backend's report of the window's inside as shown (the user dragged its frame,
    // or the window first appeared): the form lays out its controls to fit.
    void UserResize(int Width, int Height);
    // The inside a window shows with when the user has not sized it: as designed, or
    // 640 x 480 where no size was given.
    TSize OpeningSize() const;
    int HelpContext() const { return FHelpContext; }
    void SetHelpContext(int Value);

    // Shows the window without waiting.
    virtual void Show();
    // Shows the window and waits until it sets a modal result; returns it.
    int ShowModal();
    bool Modal() const { return FModal; }
    int ModalResult() const { return FModalResult; }
    void SetModalResult(int Value);
    // Asks the form to close: CloseQuery, then OnClose decides what happens to it.
    void Close();
    // Whether the form may close now; runs OnCloseQuery.
    virtual bool CloseQuery();
    // The action a key runs through the window's action lists, or null.
    TAction* ActionForShortCut(TShortCut Key) const;
    // Tells the user, without a box, why something they tried did nothing (a key typed
    // into a read-only cell); a window with a status area shows it there.
    virtual void ShowStatusHint(const std::string& /*Text*/) {}
    void SetDefaultCloseAction(TCloseAction Value) { FCloseAction = Value; }

    void SetVisible(bool Value) override;
    void SetFocus() override;
    TWinControl* ActiveControl() const { return FActiveControl; }
    // Moves the focus as SetFocus does; null leaves it on the window itself.
    void SetActiveControl(TWinControl* Control);


    // Every command that reads or leaves the window's data starts here: what the user
    // typed into any of its controls and did not confirm goes to its data first.
    bool HasPendingEdit() const override;
    void CommitPendingEdit() override;
    // A control's unconfirmed text appeared, changed or went (the window's "unsaved
    // changes" may follow it).
    virtual void PendingEditChanged() {}

    // Backend entry points for the user's input, each through Application->HandleEvent.
    void UserClose();
    // The window lost the focus to another window: typed text is not left behind.
    void UserDeactivate();
    // A key with its modifiers: Escape presses the cancel button, anything else goes to
    // the popup menus of the focused control and its parents, then to the form's action
    // lists. Returns whether something took the key.
    bool UserShortCut(TShortCut Key);
    // Runs the shortcut's command, if any; Escape is not special here.
    bool IsShortCut(TShortCut Key);

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;

    void Notification(TComponent* AComponent) override;
    void DestroyHandle() override;

protected:
    // Frees owned forms with Free, then every other owned component, while this object is
    // still whole. Every form class whose members its components use calls it first in
    // its destructor.
    void DestroyFormComponents();
    void CreateDependentHandles() override;
    TSize DesignSize() const override;

private:
    friend class TWinControl;
    friend class TActionList;
    void FocusChanged(TWinControl* Control);
    void ControlDestroyed(TWinControl* Control);
    void DoCreate();
    void DoDestroy();

    TFormBorderStyle FBorderStyle = TFormBorderStyle::bsSizeable;
    TPosition FPosition = TPosition::poDefault;
    int FClientWidth = 0, FClientHeight = 0;
    int FHelpContext = 0;
    int FModalResult = mrNone;
    bool FModal = false;
    bool FCreated = false;
    bool FDestroying = false;
    bool FReleasing = false;
    TCloseAction FCloseAction = TCloseAction::caHide;
    TWinControl* FActiveControl = nullptr;
    std::vector<TActionList*> FActionLists;
};

// The application object. It owns the top-level windows, holds the backend, and is the one
// entry for the user's events.
class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    // The backend is not owned. Changing it destroys every native handle first.
    TWidgetSet* WidgetSet() const { return FWidgetSet; }
    void SetWidgetSet(TWidgetSet* Value);

    const std::string& Title() const { return FTitle; }
    void SetTitle(const std::string& Value) { FTitle = Value; }

    // Shows a message box and returns the button pressed. Without a backend the text goes
    // to the standard error stream and the box's default button is the answer.
    int MessageBox(const std::string& Text, const std::string& Caption, int Flags = MB_OK);

    // Runs what the user asked for. A TUserException becomes a message box titled with its
    // title, EAbort ends the event silently, anything else is shown as an error; nothing
    // escapes. Forms released meanwhile are freed when the outermost event ends.
    void HandleEvent(const std::function<void()>& Handler);
    // Shows the exception being handled (call from inside a catch block).
    void ShowException(const std::exception& E);
    bool InEvent() const { return FEventDepth > 0; }

    // Frees released forms and lets the backend run pending native events.
    void ProcessMessages();

    // The windows the application owns, oldest first.
    std::vector<TCustomForm*> Forms() const;
    // Frees every window (the host calls it before it unloads plug-ins or quits).
    void FreeForms();

private:
    friend class TCustomForm;
    void QueueRelease(TCustomForm* Form);
    void FormDestroyed(TCustomForm* Form);
    void FreeReleasedForms();

    TWidgetSet* FWidgetSet = nullptr;
    std::string FTitle;
    int FEventDepth = 0;
    std::vector<TCustomForm*> FReleased;
};

// The one application object of the process, shared by the host and its plug-ins.
extern TApplication* Application;

// Marks work of many steps that keeps the user of Form waiting: the backend shows a busy
// cursor for the scope's life and may show the progress. Scopes nest; only the outermost
// reaches the backend.
class TBusyScope {
public:
    TBusyScope(TCustomForm* Form, const std::string& Caption, int Total);
    ~TBusyScope();
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;
    // One more step done.
    void Step();

private:
    TWidgetSet* FWidgetSet = nullptr; // null for a nested scope or without a backend
    int FDone = 0;
};

// Commits the pending edit of the window Component belongs to (a control's form, or the
// form owning an action or menu item), before a command of that window runs.
void CommitPendingEditOf(TComponent* Component);

} // namespace orv
