#include "shell/LoginDialog.h"

#include "host/widgetset/qt/QtConvert.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orv::shell {

using qt::ToQString;
using qt::FromQString;

TLoginDialog::TLoginDialog(client::TRemoteConnection& Connection, const std::string& UserName, bool Again,
                           QWidget* Parent)
    : QDialog(Parent), FConnection(Connection) {
    setWindowTitle(Again ? QStringLiteral("重新登录") : QStringLiteral("登录"));
    auto* Layout = new QVBoxLayout(this);
    auto* Intro = new QLabel(Again ? QStringLiteral("会话已结束，请重新登录服务器 %1。窗口中未保存的修改都还在。")
                                         .arg(ToQString(Connection.Url()))
                                   : QStringLiteral("服务器：%1").arg(ToQString(Connection.Url())),
                             this);
    Intro->setWordWrap(true);
    Layout->addWidget(Intro);

    auto* Form = new QFormLayout;
    FUser = new QLineEdit(ToQString(UserName), this);
    FUser->setEnabled(!Again);
    FPassword = new QLineEdit(this);
    FPassword->setEchoMode(QLineEdit::Password);
    Form->addRow(QStringLiteral("用户名(&U)："), FUser);
    Form->addRow(QStringLiteral("密码(&P)："), FPassword);
    Layout->addLayout(Form);

    FMessage = new QLabel(this);
    FMessage->setWordWrap(true);
    FMessage->setStyleSheet(QStringLiteral("color: #b00020"));
    FMessage->hide();
    Layout->addWidget(FMessage);

    auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    FOk = Buttons->button(QDialogButtonBox::Ok);
    FOk->setText(QStringLiteral("登录"));
    Buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    Layout->addWidget(Buttons);
    connect(Buttons, &QDialogButtonBox::accepted, this, &TLoginDialog::TryLogin);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    (Again || !FUser->text().isEmpty() ? FPassword : FUser)->setFocus();
    setMinimumWidth(360);
}

void TLoginDialog::TryLogin() {
    const std::string User = FromQString(FUser->text().trimmed());
    if (User.empty()) {
        FMessage->setText(QStringLiteral("请输入用户名。"));
        FMessage->show();
        FUser->setFocus();
        return;
    }
    FOk->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string Refusal;
    try {
        FConnection.Login(User, FromQString(FPassword->text()));
    } catch (const std::exception& E) {
        Refusal = E.what();
    }
    QApplication::restoreOverrideCursor();
    FOk->setEnabled(true);
    if (Refusal.empty()) {
        FPassword->clear();
        accept();
        return;
    }
    FMessage->setText(ToQString(Refusal));
    FMessage->show();
    FPassword->selectAll();
    FPassword->setFocus();
}

bool RunLoginDialog(client::TRemoteConnection& Connection, const std::string& UserName, bool Again,
                    QWidget* Parent) {
    TLoginDialog Dialog(Connection, UserName, Again, Parent);
    return Dialog.exec() == QDialog::Accepted;
}

} // namespace orv::shell
