// The toolkit-neutral component model: native components, controls and windowed controls.
#pragma once

#include "host/core/Classes.h"
#include "host/core/SysUtils.h"
#include "host/widgetset/WidgetSet.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orv {

class TCustomForm;
class TWinControl;
class TPopupMenu;

// Misuse of a component: focusing a hidden control, showing a visible form modally...
class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

using TNotifyEvent = std::function<void(TComponent* Sender)>;

// Modal results, the values of the classic dialog buttons.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;

// Colours: 0x00BBGGRR, or a system colour 0xFF0000nn that the backend resolves.
using TColor = std::uint32_t;
inline constexpr TColor clWindow = 0xFF000005;
inline constexpr TColor clWindowText = 0xFF000008;
inline constexpr TColor clHighlight = 0xFF00000D;
inline constexpr TColor clHighlightText = 0xFF00000E;
inline constexpr TColor clBtnFace = 0xFF00000F;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;

// Character sets a font asks for.
inline constexpr int ANSI_CHARSET = 0;
inline constexpr int DEFAULT_CHARSET = 1;
inline constexpr int GB2312_CHARSET = 134;

enum class TFontPitch { fpDefault, fpVariable, fpFixed };
enum class TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };

class TFontStyles {
public:
    TFontStyles() = default;
    TFontStyles(std::initializer_list<TFontStyle> Items) {
        for (auto I : Items)
            FBits |= Bit(I);
    }
    bool Contains(TFontStyle S) const { return (FBits & Bit(S)) != 0; }
    bool Empty() const { return FBits == 0; }
    bool operator==(const TFontStyles&) const = default;

private:
    static unsigned Bit(TFontStyle S) { return 1u << static_cast<unsigned>(S); }
    unsigned FBits = 0;
};

// A font as a form resource gives it; the backend maps it to a real font. Height is kept
// as given (pixels of the character height).
struct TFont {
    std::string Name = "宋体";
    int Charset = DEFAULT_CHARSET;
    int Height = 12;
    TColor Color = clWindowText;
    TFontPitch Pitch = TFontPitch::fpDefault;
    TFontStyles Style;
    bool operator==(const TFont&) const = default;
};

// A component a backend can render. It holds the handle the backend made for it.
// Invariant: FHandle != 0 exactly while FWidgetSet holds a native counterpart.
class TNativeComponent : public TComponent {
public:
    explicit TNativeComponent(TComponent* AOwner);
    ~TNativeComponent() override;

    bool HandleAllocated() const { return FHandle != 0; }
    THandle Handle() const { return FHandle; }
    // The backend that made the handle (null while none exists).
    TWidgetSet* WidgetSet() const { return FWidgetSet; }

    // Realises the component (and what belongs to it) through Application's backend; does
    // nothing without one.
    void HandleNeeded();
    // Destroys the native counterparts, dependants first; the model stays as it is.
    virtual void DestroyHandle();

protected:
    // After the handle exists: realise what depends on it.
    virtual void CreateDependentHandles() {}
    // Tells the backend about a change, if there is a backend.
    void Changed(TPropertyId Property);
    void DestroyOwnHandle();

private:
    THandle FHandle = 0;
    TWidgetSet* FWidgetSet = nullptr;
};

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

enum class TAnchorKind { akLeft, akTop, akRight, akBottom };

class TAnchors {
public:
    TAnchors() : TAnchors({TAnchorKind::akLeft, TAnchorKind::akTop}) {}
    TAnchors(std::initializer_list<TAnchorKind> Items) {
        for (auto I : Items)
            FBits |= Bit(I);
    }
    bool Contains(TAnchorKind K) const { return (FBits & Bit(K)) != 0; }
    bool operator==(const TAnchors&) const = default;

private:
    static unsigned Bit(TAnchorKind K) { return 1u << static_cast<unsigned>(K); }
    unsigned FBits = 0;
};

// Something shown inside a windowed parent.
class TControl : public TNativeComponent {
public:
    explicit TControl(TComponent* AOwner);
    ~TControl() override;

    TWinControl* Parent() const { return FParent; }
    void SetParent(TWinControl* Value);
    // The form this control is shown on (itself for a form), or null.
    TCustomForm* GetParentForm() const;

    virtual bool Visible() const { return FVisible; }
    virtual void SetVisible(bool Value);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    virtual bool Enabled() const { return FEnabled; }
    virtual void SetEnabled(bool Value);
    // Visible, and so are all its parents up to and including its form.
    bool Showing() const;

    virtual std::string Caption() const { return FCaption; }
    virtual void SetCaption(const std::string& Value);
    virtual std::string Hint() const { return FHint; }
    virtual void SetHint(const std::string& Value);

    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    void SetWidth(int Value) { SetBounds(FLeft, FTop, Value, FHeight); }
    void SetHeight(int Value) { SetBounds(FLeft, FTop, FWidth, Value); }
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign Value);
    const TAnchors& Anchors() const { return FAnchors; }
    void SetAnchors(const TAnchors& Value);
    // Where the layout put the control in its parent (TWinControl::Realign); for a form,
    // its inside as the backend reported it. Placed() is false until then.
    const TBounds& Placement() const { return FPlacement; }
    bool Placed() const { return FPlaced; }
    // Whether the control is at least as large as the backend says its content needs
    // (a label's text).
    virtual bool AutoSize() const { return false; }

    const TFont& Font() const { return FFont; }
    void SetFont(const TFont& Value);

    TPopupMenu* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(TPopupMenu* Value);

    TNotifyEvent OnClick;
    // What a click does; code may click a control the user could not.
    virtual void Click();
    // The user clicked (the backend's entry point). Returns whether the control reacted.
    bool UserClick();

    // Whether the user can reach the control now: it is showing, and it and every parent
    // up to its form are enabled.
    bool TakesUserInput() const;

    void Notification(TComponent* AComponent) override;

protected:
    friend class TWinControl;
    // The one way a user's input enters a control: only while it TakesUserInput, and
    // through Application->HandleEvent, so that nothing the handler raises reaches the
    // backend. Returns whether Handler ran to its end.
    bool UserInput(const std::function<void()>& Handler);
    void SetPlacement(const TBounds& Value);
    // A change of this control that moves what its parent lays out.
    void ParentRealign();
    void CreateDependentHandles() override;
    bool FVisible = true;
    bool FIsForm = false;

private:
    TWinControl* FParent = nullptr;
    bool FEnabled = true;
    std::string FCaption;
    std::string FHint;
    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    TAlign FAlign = TAlign::alNone;
    TAnchors FAnchors;
    TBounds FPlacement;
    bool FPlaced = false;
    TFont FFont;
    TPopupMenu* FPopupMenu = nullptr;
};

// A control that holds other controls and can take the input focus.
class TWinControl : public TControl {
public:
    explicit TWinControl(TComponent* AOwner);
    ~TWinControl() override;

    const std::vector<TControl*>& Controls() const { return FControls; }
    int ControlCount() const { return static_cast<int>(FControls.size()); }

    int TabOrder() const { return FTabOrder; }
    void SetTabOrder(int Value);

    // On a form, and visible and enabled up to it: the focus can go here.
    bool CanFocus() const;
    // Whether this control holds the focus of its form.
    bool Focused() const;
    // Moves the focus of its form here. Raises EInvalidOperation when the control is
    // hidden or disabled; the control that loses the focus may refuse through OnExit.
    virtual void SetFocus();
    // The user put the focus here (the backend's entry point); OnExit of the control
    // that had it may refuse.
    void UserFocus();

    // Text the user typed into the control and has not confirmed yet (an open cell
    // editor): it counts as a change, and CommitPendingEdit hands it to its data. A
    // refusal raises and leaves the text where it is, so the command that asked stops.
    virtual bool HasPendingEdit() const { return false; }
    virtual void CommitPendingEdit() {}

    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    void DestroyHandle() override;

    // Lays out the children anew, and theirs in turn; nothing before this control is
    // placed. A backend calls it when its measures changed (a window's first showing).
    void Realign();

protected:
    friend class TControl;
    friend class TCustomForm;
    virtual void DoEnter();
    virtual void DoExit();
    void CreateDependentHandles() override;
    // Places the visible children inside Placement(): aligned controls share out the
    // client area in the order the framework has always used (top, bottom, left, right,
    // then the rest to the client control); the others keep their designed bounds,
    // moved with the right or bottom edge they alone are anchored to, or stretched
    // between two anchored edges.
    virtual void AlignControls();
    // The sizes the anchors keep distances to: the designed size of this container.
    virtual TSize DesignSize() const { return {Width(), Height()}; }

private:
    void InsertControl(TControl* C);
    void RemoveControl(TControl* C);
    std::vector<TControl*> FControls;
    int FTabOrder = 0;
};

} // namespace orv
