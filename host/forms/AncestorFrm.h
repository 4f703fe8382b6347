// The root form of the host's windows and the form with a status.
#pragma once

#include "host/forms/Forms.h"

namespace orv {

class TAncestorForm : public TCustomForm {
public:
    explicit TAncestorForm(TComponent* AOwner);

    // Runs after the window has been shown.
    virtual void PostOpen();
    // Loads what the window shows before it is shown.
    virtual void PrepareData();
};

// A form with a status, whose display follows it.
class TFuncForm : public TAncestorForm {
public:
    explicit TFuncForm(TComponent* AOwner);

    int Status() const { return FStatus; }
    // Stores the status and brings the display up to date through ShowStatus.
    void SetStatus(int Value);

    // Sets the permissions of the window; returns whether the user may see it.
    // Grants nothing unless a window says otherwise.
    virtual bool InitRights();
    // Brings commands and display in line with Status.
    virtual void ShowStatus();

private:
    int FStatus = 0;
};

} // namespace orv
