// Standard controls: labels, panels, group boxes, buttons and edits.
#pragma once

#include "host/forms/Controls.h"

#include <string>

namespace orv {

class TLabel : public TControl {
public:
    explicit TLabel(TComponent* AOwner) : TControl(AOwner) {}
    bool AutoSize() const override { return true; }
};

// A plain container, e.g. the strip under a grid.
class TPanel : public TWinControl {
public:
    explicit TPanel(TComponent* AOwner) : TWinControl(AOwner) {}
};

class TGroupBox : public TWinControl {
public:
    explicit TGroupBox(TComponent* AOwner) : TWinControl(AOwner) {}
};

// A push button. A non-zero ModalResult closes a modal form with that result when
// clicked; the Cancel button is pressed by Escape.
class TBitBtn : public TWinControl {
public:
    explicit TBitBtn(TComponent* AOwner) : TWinControl(AOwner) {}

    int ModalResult() const { return FModalResult; }
    void SetModalResult(int Value) { FModalResult = Value; }
    bool Cancel() const { return FCancel; }
    void SetCancel(bool Value);

    // Sets the form's modal result, then runs OnClick. Does nothing while disabled.
    void Click() override;

private:
    int FModalResult = 0;
    bool FCancel = false;
};

// A one-line text edit.
class TOrvMeEdit : public TWinControl {
public:
    explicit TOrvMeEdit(TComponent* AOwner) : TWinControl(AOwner) {}

    const std::string& Text() const { return FText; }
    void SetText(const std::string& Value);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool Value);

    TNotifyEvent OnChange;
    // The user typed (the backend's entry point). Refused while read-only or disabled.
    void UserSetText(const std::string& Value);

private:
    std::string FText;
    bool FReadOnly = false;
};

} // namespace orv
