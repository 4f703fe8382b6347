#include "shell/MainWindow.h"

#include "host/forms/Forms.h"
#include "host/widgetset/qt/QtConvert.h"
#include "shell/HostOptions.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace orv::shell {

using qt::ToQString;

TMainWindow::TMainWindow(const TPluginLibrary* Plugin, const std::string& UserName,
                         const std::string& Where, const std::string& Problem, QWidget* Parent)
    : QMainWindow(Parent), FPlugin(Plugin) {
    setObjectName(QStringLiteral("quillonMain"));
    setWindowTitle(QStringLiteral("Quillon 提成管理"));
    resize(520, 300);

    QMenu* File = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    QMenu* Windows = menuBar()->addMenu(QStringLiteral("提成管理(&C)"));
    auto* Central = new QWidget(this);
    auto* Layout = new QVBoxLayout(Central);
    auto* Title = new QLabel(QStringLiteral("请选择要打开的窗口："), Central);
    Layout->addWidget(Title);
    auto* Grid = new QGridLayout();
    Layout->addLayout(Grid);

    int Index = 0;
    for (const TLauncherInfo& L : Launchers) {
        const std::string Export = L.Export;
        auto* A = new QAction(ToQString(L.Caption), this);
        A->setObjectName(QString::fromLatin1(L.Export));
        A->setEnabled(FPlugin && FPlugin->Symbol(Export) != nullptr);
        if (!A->isEnabled())
            A->setToolTip(Problem.empty() ? QStringLiteral("插件库没有提供这个窗口。") : ToQString(Problem));
        connect(A, &QAction::triggered, this, [this, Export] { Open(Export); });
        Windows->addAction(A);
        FActions[Export] = A;

        auto* Button = new QToolButton(Central);
        Button->setDefaultAction(A);
        Button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        Button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        Button->setMinimumHeight(56);
        Grid->addWidget(Button, Index / 2, Index % 2);
        ++Index;
    }
    Layout->addStretch();
    setCentralWidget(Central);

    QAction* Quit = File->addAction(QStringLiteral("退出(&X)"));
    connect(Quit, &QAction::triggered, this, &QWidget::close);

    QString Status =
        QStringLiteral("用户：%1    %2").arg(ToQString(UserName), ToQString(Where));
    if (!Problem.empty()) Status = ToQString(Problem);
    statusBar()->showMessage(Status);
}

QAction* TMainWindow::LauncherAction(const std::string& Export) const {
    auto It = FActions.find(Export);
    return It == FActions.end() ? nullptr : It->second;
}

bool TMainWindow::Open(const std::string& Export) {
    auto* Launcher = FPlugin ? FPlugin->Function<void()>(Export) : nullptr;
    if (!Launcher) return false;
    // A window that cannot open says why in a message box; the host goes on.
    Application->HandleEvent([&] { Launcher(); });
    return true;
}

void TMainWindow::closeEvent(QCloseEvent* Event) {
    for (TCustomForm* F : Application->Forms()) {
        if (!F->Visible()) continue;
        bool CanClose = false;
        Application->HandleEvent([&] { CanClose = F->CloseQuery(); });
        if (!CanClose) {
            Event->ignore();
            return;
        }
    }
    // The windows run the plug-in's code: they go before anything else does.
    Application->FreeForms();
    Event->accept();
    QApplication::quit();
}

} // namespace orv::shell
