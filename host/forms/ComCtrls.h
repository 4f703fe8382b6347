// Tool bars and date pickers.
#pragma once

#include "host/core/DateUtils.h"
#include "host/forms/ActnList.h"
#include "host/forms/Controls.h"

namespace orv {

class TToolBar : public TWinControl {
public:
    explicit TToolBar(TComponent* AOwner);

protected:
    // The buttons line up in the bar as the backend draws it.
    void AlignControls() override {}
};

enum class TToolButtonStyle { tbsButton, tbsSeparator, tbsDivider };

// A tool bar button. With an action it shows the action's caption, hint and enabled state
// and runs the action when clicked; its visibility stays its own.
class TToolButton : public TControl, private TActionClient {
public:
    explicit TToolButton(TComponent* AOwner);
    ~TToolButton() override;

    TToolButtonStyle Style() const { return FStyle; }
    void SetStyle(TToolButtonStyle Value);

    TAction* Action() const { return FAction; }
    void SetAction(TAction* Value);

    std::string Caption() const override;
    std::string Hint() const override;
    bool Enabled() const override;
    void SetEnabled(bool Value) override;

    // Runs the action (or OnClick); a disabled button or a separator does nothing.
    void Click() override;

    void Notification(TComponent* AComponent) override;

private:
    void ActionChanged(TPropertyId Property) override;
    void ActionFreed() override;
    TToolButtonStyle FStyle = TToolButtonStyle::tbsButton;
    TAction* FAction = nullptr;
};

class TDateTimePicker : public TWinControl {
public:
    explicit TDateTimePicker(TComponent* AOwner);

    // The day shown, without a time of day.
    TDateTime Date() const { return FDate; }
    void SetDate(TDateTime Value);

    TNotifyEvent OnChange;
    // The user picked a day (the backend's entry point).
    void UserSetDate(TDateTime Value);

private:
    TDateTime FDate = 0;
};

} // namespace orv
