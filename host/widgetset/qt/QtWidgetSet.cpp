#include "host/widgetset/qt/QtWidgetSet.h"

#include "host/widgetset/qt/QtConvert.h"
#include "host/widgetset/qt/QtGridView.h"
#include "host/widgetset/qt/QtPeers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>

#include <algorithm>
#include <map>
#include <stdexcept>

namespace orv::qt {

namespace {

QMessageBox::Icon IconOf(int Flags) {
    switch (Flags & MB_ICONMASK) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// The button's text as the windows' users read it, and its role in the box.
std::pair<QString, QMessageBox::ButtonRole> ButtonOf(int Id) {
    switch (Id) {
    case IDOK:
        return {QStringLiteral("确定"), QMessageBox::AcceptRole};
    case IDCANCEL:
        return {QStringLiteral("取消"), QMessageBox::RejectRole};
    case IDABORT:
        return {QStringLiteral("中止(&A)"), QMessageBox::RejectRole};
    case IDRETRY:
        return {QStringLiteral("重试(&R)"), QMessageBox::AcceptRole};
    case IDIGNORE:
        return {QStringLiteral("忽略(&I)"), QMessageBox::AcceptRole};
    case IDYES:
        return {QStringLiteral("是(&Y)"), QMessageBox::YesRole};
    default:
        return {QStringLiteral("否(&N)"), QMessageBox::NoRole};
    }
}

// The answer a box gives when it is closed without a button: Cancel, else No, else the
// only button there is.
int EscapeAnswer(const std::vector<int>& Buttons) {
    for (int Want : {IDCANCEL, IDNO})
        for (int B : Buttons)
            if (B == Want) return B;
    return Buttons.size() == 1 ? Buttons.front() : 0;
}

} // namespace

TQtWidgetSet::TQtWidgetSet() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        throw std::logic_error("TQtWidgetSet needs a QApplication");
    connect(qApp, &QApplication::focusChanged, this, &TQtWidgetSet::FocusChanged);
}

TQtWidgetSet::~TQtWidgetSet() {
    Uninstall();
    FlushDeferredDeletes();
}

void TQtWidgetSet::Install() {
    Application->SetWidgetSet(this);
    FInstalled = true;
}

void TQtWidgetSet::Uninstall() {
    if (FInstalled && Application->WidgetSet() == this) Application->SetWidgetSet(nullptr);
    FInstalled = false;
}

void TQtWidgetSet::FlushDeferredDeletes() {
    // Deferred deletes wait for the event loop they were posted from; at shutdown there is
    // none left, so they are run here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// ---- lookups -------------------------------------------------------------------------------

TPeer* TQtWidgetSet::PeerOf(const TNativeComponent* Component) const {
    if (!Component || !Component->HandleAllocated() || Component->WidgetSet() != this) {
        // During CreateHandle the component has no handle yet, but its peer exists.
        if (!Component) return nullptr;
        for (const auto& [H, P] : FPeers)
            if (P->Component() == Component) return P.get();
        return nullptr;
    }
    auto It = FPeers.find(Component->Handle());
    return It == FPeers.end() ? nullptr : It->second.get();
}

TPeer* TQtWidgetSet::PeerOfWidget(const QWidget* Widget) const {
    for (const QWidget* W = Widget; W; W = W->parentWidget()) {
        auto It = FWidgetPeers.find(W);
        if (It != FWidgetPeers.end()) return It->second;
    }
    return nullptr;
}

void TQtWidgetSet::RegisterWidget(QWidget* Widget, TPeer* Peer) {
    FWidgetPeers[Widget] = Peer;
    Widget->installEventFilter(this);
}

void TQtWidgetSet::UnregisterWidget(QWidget* Widget) {
    FWidgetPeers.erase(Widget);
    Widget->removeEventFilter(this);
}

QWidget* TQtWidgetSet::WidgetOf(const TNativeComponent* Component) const {
    TPeer* P = PeerOf(Component);
    return P ? P->Widget() : nullptr;
}

QAction* TQtWidgetSet::ActionOf(const TNativeComponent* Component) const {
    TPeer* P = PeerOf(Component);
    return P ? P->Action() : nullptr;
}

QMenu* TQtWidgetSet::MenuOf(const TNativeComponent* Component) const {
    TPeer* P = PeerOf(Component);
    return P ? P->Menu() : nullptr;
}

TQtGridView* TQtWidgetSet::ViewOf(const TOrvDBGrid* Grid) const {
    return qobject_cast<TQtGridView*>(WidgetOf(Grid));
}

TQtGridModel* TQtWidgetSet::ModelOf(const TOrvDBGrid* Grid) const {
    TQtGridView* V = ViewOf(Grid);
    return V ? V->GridModel() : nullptr;
}

TCustomForm* TQtWidgetSet::FormOfWidget(const QWidget* Window) const {
    TPeer* P = PeerOfWidget(Window);
    if (!P || !P->Component()) return nullptr;
    if (auto* F = dynamic_cast<TCustomForm*>(P->Component())) return F;
    if (auto* C = dynamic_cast<TControl*>(P->Component())) return C->GetParentForm();
    return nullptr;
}

// ---- TWidgetSet ----------------------------------------------------------------------------

THandle TQtWidgetSet::CreateHandle(TNativeComponent* Component) {
    std::unique_ptr<TPeer> P = MakePeer(*this, Component);
    if (!P) return 0;
    TPeer* Raw = P.get();
    THandle H = reinterpret_cast<THandle>(Raw);
    FPeers.emplace(H, std::move(P));
    Raw->Created();
    return H;
}

void TQtWidgetSet::DestroyHandle(TNativeComponent*, THandle Handle) {
    auto It = FPeers.find(Handle);
    if (It == FPeers.end()) return;
    // A modal loop of a window that goes ends with it.
    if (auto L = FModalLoops.find(Handle); L != FModalLoops.end()) L->second->quit();
    std::unique_ptr<TPeer> P = std::move(It->second);
    FPeers.erase(It);
    P->Detach();
}

void TQtWidgetSet::PropertyChanged(TNativeComponent* Component, TPropertyId Property) {
    TPeer* P = PeerOf(Component);
    if (!P) return;
    if (Property == TPropertyId::ModalResult) {
        auto* F = dynamic_cast<TCustomForm*>(Component);
        auto L = FModalLoops.find(Component->Handle());
        if (F && F->ModalResult() != mrNone && L != FModalLoops.end()) L->second->quit();
        return;
    }
    P->Update(Property);
}

void TQtWidgetSet::ShowForm(TCustomForm* Form) {
    if (auto* P = dynamic_cast<TFormPeer*>(PeerOf(Form))) P->Show();
}

void TQtWidgetSet::HideForm(TCustomForm* Form) {
    if (auto* P = dynamic_cast<TFormPeer*>(PeerOf(Form))) P->Hide();
}

void TQtWidgetSet::RunModal(TCustomForm* Form) {
    if (!dynamic_cast<TFormPeer*>(PeerOf(Form)) || Form->ModalResult() != mrNone) return;
    const THandle H = Form->Handle();
    QEventLoop Loop;
    FModalLoops[H] = &Loop;
    Loop.exec(QEventLoop::DialogExec);
    // Only the loop table is touched: the form may have gone meanwhile.
    FModalLoops.erase(H);
}

int TQtWidgetSet::MessageBox(const std::string& Text, const std::string& Caption, int Flags) {
    if (FMessageHook) return FMessageHook(Text, Caption, Flags);
    const std::vector<int> Buttons = MessageBoxButtons(Flags);
    QMessageBox Box(IconOf(Flags), ToQString(Caption), ToQString(Text), QMessageBox::NoButton,
                    QApplication::activeWindow());
    std::map<QAbstractButton*, int> Ids;
    const int Default = MessageBoxDefaultButton(Flags);
    const int Escape = EscapeAnswer(Buttons);
    for (int Id : Buttons) {
        auto [Label, Role] = ButtonOf(Id);
        QPushButton* B = Box.addButton(Label, Role);
        Ids[B] = Id;
        if (Id == Default) Box.setDefaultButton(B);
        if (Id == Escape) Box.setEscapeButton(B);
    }
    Box.exec();
    auto It = Ids.find(Box.clickedButton());
    return It != Ids.end() ? It->second : (Escape ? Escape : Default);
}

std::optional<std::string> TQtWidgetSet::ChooseSaveFile(TCustomForm* Form, const std::string& Title,
                                                        const std::string& SuggestedName,
                                                        const std::vector<TFileFilter>& Filters) {
    QStringList Patterns;
    for (const TFileFilter& F : Filters)
        Patterns << QStringLiteral("%1 (*.%2)").arg(ToQString(F.Description), ToQString(F.Extension));
    QString Selected = Patterns.isEmpty() ? QString() : Patterns.front();
    if (FSaveDir.isEmpty()) FSaveDir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (FSaveDir.isEmpty()) FSaveDir = QDir::homePath();
    QWidget* Parent = Form ? WidgetOf(Form) : nullptr;
    if (!Parent) Parent = QApplication::activeWindow();
    QString Path = QFileDialog::getSaveFileName(Parent, ToQString(Title),
                                                QDir(FSaveDir).filePath(ToQString(SuggestedName)),
                                                Patterns.join(QStringLiteral(";;")), &Selected);
    if (Path.isEmpty()) return std::nullopt;
    FSaveDir = QFileInfo(Path).absolutePath();
    // The kind of file goes by its extension: a name that ends in none of those offered
    // gets the chosen filter's.
    const QString Suffix = QFileInfo(Path).suffix();
    const bool Offered = std::any_of(Filters.begin(), Filters.end(), [&](const TFileFilter& F) {
        return Suffix.compare(ToQString(F.Extension), Qt::CaseInsensitive) == 0;
    });
    if (const qsizetype Chosen = Patterns.indexOf(Selected); !Offered && Chosen >= 0)
        Path += QLatin1Char('.') + ToQString(Filters[static_cast<std::size_t>(Chosen)].Extension);
    return FromQString(Path);
}

void TQtWidgetSet::SetFocus(TWinControl* Control) {
    QWidget* W = WidgetOf(Control);
    if (!W) return;
    QWidget* Window = W->window();
    if (!Window->isVisible()) return;
    if (!Window->isActiveWindow()) Window->activateWindow();
    if (dynamic_cast<TCustomForm*>(Control)) {
        if (QGuiApplication::platformName() != QLatin1String("offscreen")) Window->raise();
        return;
    }
    if (!W->hasFocus()) W->setFocus(Qt::OtherFocusReason);
}

void TQtWidgetSet::Popup(TPopupMenu* Menu, int X, int Y) {
    if (QMenu* M = MenuOf(Menu)) M->popup(QPoint(X, Y));
}

TSize TQtWidgetSet::PreferredSize(const TControl* Control) {
    auto* P = dynamic_cast<TControlPeer*>(PeerOf(Control));
    const QSize S = P ? P->NaturalSize() : QSize();
    return {std::max(0, S.width()), std::max(0, S.height())};
}

TInsets TQtWidgetSet::ClientInsets(const TWinControl* Container) {
    auto* P = dynamic_cast<TControlPeer*>(PeerOf(Container));
    return P ? P->ClientInsets() : TInsets{};
}

void TQtWidgetSet::UserPopup(TPopupMenu* Menu, const QPoint& Global) {
    QPointer<QMenu> M = MenuOf(Menu);
    if (!M) return;
    // The menu's OnPopup brings its commands up to date before they are shown.
    Menu->UserPopup();
    if (M) M->popup(Global);
}

void TQtWidgetSet::GridChanged(TOrvDBGrid* Grid, TGridChange Change, int First, int Last) {
    if (TQtGridModel* M = ModelOf(Grid)) M->GridChanged(Change, First, Last);
}

void TQtWidgetSet::ProcessMessages() {
    QCoreApplication::processEvents();
}

namespace {
// A period shorter than this shows the busy cursor only.
constexpr qint64 ShowProgressAfterMs = 400;
// How often a long period lets the windows repaint.
constexpr qint64 RepaintEveryMs = 50;
} // namespace

void TQtWidgetSet::BeginBusy(TCustomForm* Form, const std::string& Caption, int Total) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FBusyWindow = Form ? WidgetOf(Form) : nullptr;
    FBusyCaption = Caption;
    FBusyTotal = Total;
    FBusyClock.start();
    FBusyRepainted = 0;
}

void TQtWidgetSet::BusyProgress(int Done) {
    const qint64 Now = FBusyClock.elapsed();
    if (Now - FBusyRepainted < RepaintEveryMs) return;
    FBusyRepainted = Now;
    if (!FBusyDialog && Now >= ShowProgressAfterMs && FBusyTotal > 0) {
        // No cancel button: the work is one command of the window and ends on its own.
        FBusyDialog = new QProgressDialog(ToQString(FBusyCaption), QString(), 0, FBusyTotal, FBusyWindow);
        FBusyDialog->setWindowTitle(FBusyWindow ? FBusyWindow->windowTitle() : QString());
        FBusyDialog->setWindowModality(Qt::NonModal);
        FBusyDialog->setMinimumDuration(0);
        FBusyDialog->setAutoClose(false);
        FBusyDialog->setAutoReset(false);
        FBusyDialog->show();
    }
    if (FBusyDialog) FBusyDialog->setValue(std::min(Done, FBusyTotal));
    // Paint and expose events only: the user's input waits until the work is done, so
    // nothing the user does reaches the model in the middle of it.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TQtWidgetSet::EndBusy() {
    delete FBusyDialog.data();
    FBusyWindow = nullptr;
    QApplication::restoreOverrideCursor();
}

// ---- events --------------------------------------------------------------------------------

bool TQtWidgetSet::eventFilter(QObject* Watched, QEvent* Event) {
    auto* W = qobject_cast<QWidget*>(Watched);
    auto It = W ? FWidgetPeers.find(W) : FWidgetPeers.end();
    if (It == FWidgetPeers.end()) return QObject::eventFilter(Watched, Event);
    switch (Event->type()) {
    case QEvent::Resize:
    case QEvent::Close:
    case QEvent::KeyPress:
    case QEvent::ContextMenu:
    case QEvent::WindowDeactivate:
        // The peer may be gone when this returns; its answer is all that is used.
        return It->second->WidgetEvent(Event);
    default:
        return QObject::eventFilter(Watched, Event);
    }
}

void TQtWidgetSet::FocusChanged(QWidget*, QWidget* Now) {
    if (FInFocusChange || !Now) return;
    TPeer* P = PeerOfWidget(Now);
    auto* Control = P ? dynamic_cast<TWinControl*>(P->Component()) : nullptr;
    if (!Control || dynamic_cast<TCustomForm*>(Control)) return;
    TCustomForm* Form = Control->GetParentForm();
    if (!Form || Form->ActiveControl() == Control) return;
    QPointer<QWidget> FormWindow = WidgetOf(Form);
    FInFocusChange = true;
    Control->UserFocus();
    FInFocusChange = false;
    // The window may be gone; if it stays, a control that refused to let the focus go
    // (its OnExit raised) takes it back.
    if (!FormWindow || !FormOfWidget(FormWindow)) return;
    TWinControl* Active = Form->ActiveControl();
    if (Active && Active != Control)
        if (QWidget* A = WidgetOf(Active)) A->setFocus(Qt::OtherFocusReason);
}

} // namespace orv::qt
