// Commands: actions, action lists and keyboard shortcuts.
#pragma once

#include "host/forms/Controls.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

class TActionList;

// A key with its modifiers: the virtual-key code in the low byte, modifiers above.
using TShortCut = std::uint16_t;
inline constexpr TShortCut scNone = 0;
inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;

inline constexpr std::uint16_t VK_BACK = 0x08;
inline constexpr std::uint16_t VK_TAB = 0x09;
inline constexpr std::uint16_t VK_RETURN = 0x0D;
inline constexpr std::uint16_t VK_ESCAPE = 0x1B;
inline constexpr std::uint16_t VK_SPACE = 0x20;
inline constexpr std::uint16_t VK_PRIOR = 0x21;
inline constexpr std::uint16_t VK_NEXT = 0x22;
inline constexpr std::uint16_t VK_END = 0x23;
inline constexpr std::uint16_t VK_HOME = 0x24;
inline constexpr std::uint16_t VK_LEFT = 0x25;
inline constexpr std::uint16_t VK_UP = 0x26;
inline constexpr std::uint16_t VK_RIGHT = 0x27;
inline constexpr std::uint16_t VK_DOWN = 0x28;
inline constexpr std::uint16_t VK_INSERT = 0x2D;
inline constexpr std::uint16_t VK_DELETE = 0x2E;
inline constexpr std::uint16_t VK_F1 = 0x70; // VK_F2.. follow in order up to VK_F12 = 0x7B
inline constexpr std::uint16_t VK_F5 = VK_F1 + 4;

// ShortCut('S', scCtrl), ShortCut(VK_INSERT, scCtrl | scShift). Letters are upper case.
constexpr TShortCut ShortCut(std::uint16_t Key, TShortCut Modifiers) {
    return static_cast<TShortCut>((Key & 0xFF) | Modifiers);
}
// "Ctrl+Shift+Ins", "F5", "Ctrl+S"; empty for scNone.
std::string ShortCutToText(TShortCut Key);
// What a tool tip says of a command: its hint, or else its caption without the
// accelerator mark, then its shortcut: "保存 (Ctrl+S)".
std::string CommandTip(const std::string& Caption, const std::string& Hint, TShortCut Key);

// A party that shows an action (menu item, tool button) and must hear of its changes.
class TActionClient {
public:
    virtual void ActionChanged(TPropertyId Property) = 0;
    virtual void ActionFreed() = 0;

protected:
    ~TActionClient() = default;
};

// A command with its own OnExecute.
class TBasicAction : public TNativeComponent {
public:
    explicit TBasicAction(TComponent* AOwner);
    ~TBasicAction() override;

    TNotifyEvent OnExecute;
    // Runs OnExecute with the action as sender; returns whether it ran.
    virtual bool Execute();

    void RegisterClient(TActionClient* Client);
    void UnregisterClient(TActionClient* Client);

protected:
    void NotifyClients(TPropertyId Property);

private:
    std::vector<TActionClient*> FClients;
};

// A command as menus and tool bars show it. A disabled action does not execute.
class TAction : public TBasicAction {
public:
    explicit TAction(TComponent* AOwner);
    ~TAction() override;

    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& Value);
    const std::string& Hint() const { return FHint; }
    void SetHint(const std::string& Value);
    TShortCut ShortCut() const { return FShortCut; }
    void SetShortCut(TShortCut Value);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool Value);

    TActionList* ActionList() const { return FActionList; }
    void SetActionList(TActionList* Value);

    bool Execute() override;
    // The user ran the command (the backend's entry point): a hidden or disabled action
    // does nothing. Returns whether it ran.
    bool UserExecute();

private:
    friend class TActionList;
    void Set(TPropertyId Property);
    std::string FCaption;
    std::string FHint;
    TShortCut FShortCut = scNone;
    bool FEnabled = true;
    bool FVisible = true;
    TActionList* FActionList = nullptr;
};

// Points a client's action slot at Value: the client leaves the old action and joins the
// new one, whose handle is made if the client already has one. False when nothing changed.
bool RelinkAction(TActionClient* Client, TAction*& Slot, TAction* Value, bool ClientHasHandle);

// The actions of a window. Their shortcuts reach them from anywhere in the window.
class TActionList : public TNativeComponent {
public:
    explicit TActionList(TComponent* AOwner);
    ~TActionList() override;

    const std::vector<TAction*>& Actions() const { return FActions; }
    // Executes the action with this shortcut added last (a window's own before the one
    // its framework gives every window); returns whether it ran.
    bool IsShortCut(TShortCut Key);
    // The action IsShortCut would run for Key, or null.
    TAction* FindShortCut(TShortCut Key) const;

protected:
    void CreateDependentHandles() override;

private:
    friend class TAction;
    std::vector<TAction*> FActions;
    TCustomForm* FForm = nullptr;
};

} // namespace orv
