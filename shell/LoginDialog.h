// Logging in to the application server: user name and password, with the server's
// refusal shown in the dialog until the clerk gets it right or gives up.
#pragma once

#include "client/RemoteSession.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace orv::shell {

// Invariant: Accepted only after Connection has logged in; the password never leaves the
// dialog except to the server.
class TLoginDialog : public QDialog {
    Q_OBJECT

public:
    // Again: the session ended and the same user logs in once more (the name cannot change,
    // the open windows' rows are that user's).
    TLoginDialog(client::TRemoteConnection& Connection, const std::string& UserName, bool Again,
                 QWidget* Parent = nullptr);

    QLineEdit* User() const { return FUser; }
    QLineEdit* Password() const { return FPassword; }
    QLabel* Message() const { return FMessage; }

private:
    void TryLogin();

    client::TRemoteConnection& FConnection;
    QLineEdit* FUser;
    QLineEdit* FPassword;
    QLabel* FMessage;
    QPushButton* FOk;
};

// Shows the dialog modally; true once logged in.
bool RunLoginDialog(client::TRemoteConnection& Connection, const std::string& UserName, bool Again,
                    QWidget* Parent = nullptr);

} // namespace orv::shell
