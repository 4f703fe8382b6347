#include "host/widgetset/qt/QtPeers.h"

#include "host/widgetset/qt/QtConvert.h"
#include "host/widgetset/qt/QtGridView.h"
#include "host/widgetset/qt/QtWidgetSet.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCalendarWidget>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

namespace orv::qt {

namespace {

TCustomForm* OwnerForm(TComponent* C) {
    for (TComponent* O = C ? C->Owner() : nullptr; O; O = O->Owner())
        if (auto* F = dynamic_cast<TCustomForm*>(O)) return F;
    return nullptr;
}

// Visits the controls under Parent, depth first, in order.
template <class F> void ForEachControl(TWinControl* Parent, F&& Fn) {
    for (TControl* C : Parent->Controls()) {
        Fn(C);
        if (auto* W = dynamic_cast<TWinControl*>(C)) ForEachControl(W, Fn);
    }
}

} // namespace

// ---- TPeer ---------------------------------------------------------------------------------

TPeer::TPeer(TQtWidgetSet& WS, TNativeComponent* Component)
    : FWS(WS), FComponent(Component), FGuard(std::make_unique<QObject>()) {}

TPeer::~TPeer() = default;

void TPeer::Update(TPropertyId) {}

void TPeer::Detach() {
    FGuard.reset();
    FComponent = nullptr;
}

bool TPeer::WidgetEvent(QEvent*) {
    return false;
}

void TPeer::Retire(QObject* Object) {
    if (!Object) return;
    if (auto* W = qobject_cast<QWidget*>(Object)) W->hide();
    Object->deleteLater();
}

// ---- TActionPeer ---------------------------------------------------------------------------

TActionPeer::TActionPeer(TQtWidgetSet& WS, TAction* Action) : TPeer(WS, Action) {
    FForm = OwnerForm(Action);
    if (!FForm && Action->ActionList()) FForm = OwnerForm(Action->ActionList());
    QWidget* Window = FForm ? FWS.WidgetOf(FForm) : nullptr;
    FAction = new QAction(Window);
    FAction->setObjectName(ToQString(Action->Name()));
    // The shortcut reaches the window from wherever its focus is.
    FAction->setShortcutContext(Qt::WindowShortcut);
    if (Window) Window->addAction(FAction);
    auto Run = [this] {
        TAction* A = ActionComponent();
        TCustomForm* F = FForm;
        const TShortCut Key = A->ShortCut();
        // A shortcut is the form's to dispatch: the focused control's menu comes first.
        if (Key != scNone && F)
            F->UserShortCut(Key);
        else
            A->UserExecute();
    };
    QObject::connect(FAction, &QAction::triggered, Guard(), Run);
    // Everything, the key included: a new action may take a key from another of the window.
    Update(TPropertyId::ShortCut);
}

void TActionPeer::Update(TPropertyId Property) {
    if (!FAction || !Component()) return;
    TAction* A = ActionComponent();
    FAction->setText(ToQString(A->Caption()));
    FAction->setToolTip(ToQString(CommandTip(A->Caption(), A->Hint(), A->ShortCut())));
    FAction->setStatusTip(ToQString(A->Hint()));
    // A changed key may take it from, or give it back to, another action of the window; no
    // other change moves a key, so the walk over the window's actions stays off the path of
    // the frequent enabled and visible changes.
    if (Property == TPropertyId::ShortCut) {
        if (FForm)
            for (TComponent* C : FForm->Components())
                if (auto* Other = dynamic_cast<TAction*>(C); Other && Other != A)
                    if (auto* P = dynamic_cast<TActionPeer*>(FWS.PeerOf(Other))) P->ApplyShortcut();
        ApplyShortcut();
    }
    FAction->setEnabled(A->Enabled());
    FAction->setVisible(A->Visible());
}

void TActionPeer::ApplyShortcut() {
    if (!FAction || !Component()) return;
    TAction* A = ActionComponent();
    const TShortCut Key = A->ShortCut();
    const bool Holds = Key != scNone && (!FForm || FForm->ActionForShortCut(Key) == A);
    FAction->setShortcut(Holds ? ToKeySequence(Key) : QKeySequence());
}

void TActionPeer::Detach() {
    if (FAction) {
        if (auto* W = qobject_cast<QWidget*>(FAction->parent())) W->removeAction(FAction);
        FAction->setShortcut(QKeySequence());
        Retire(FAction);
    }
    TPeer::Detach();
}

// ---- TMenuPeer, TMenuItemPeer --------------------------------------------------------------

TMenuPeer::TMenuPeer(TQtWidgetSet& WS, TNativeComponent* Component, bool WithMenu) : TPeer(WS, Component) {
    if (WithMenu) {
        FMenu = new QMenu();
        FMenu->setObjectName(ToQString(Component->Name()));
    }
}

void TMenuPeer::Created() {
    RebuildItems();
}

const std::vector<TMenuItem*>* TMenuPeer::Items() const {
    if (auto* M = dynamic_cast<TPopupMenu*>(Component())) return &M->Items();
    if (auto* I = dynamic_cast<TMenuItem*>(Component())) return &I->Items();
    return nullptr;
}

void TMenuPeer::RebuildItems() {
    if (!Component()) return;
    const std::vector<TMenuItem*>* List = Items();
    if (!List) return;
    if (!FMenu) {
        if (List->empty()) return;
        FMenu = new QMenu();
        FMenu->setObjectName(ToQString(Component()->Name()));
        // The item now opens a sub-menu: its container shows the sub-menu's own entry.
        if (auto* I = dynamic_cast<TMenuItem*>(Component()))
            if (auto* C = dynamic_cast<TMenuPeer*>(
                    FWS.PeerOf(I->ParentItem() ? static_cast<TNativeComponent*>(I->ParentItem())
                                               : static_cast<TNativeComponent*>(I->Menu()))))
                C->RebuildItems();
    }
    const QList<QAction*> Old = FMenu->actions();
    for (QAction* A : Old)
        FMenu->removeAction(A);
    for (TMenuItem* I : *List) {
        TPeer* P = FWS.PeerOf(I);
        if (!P || !P->Action()) continue;
        if (QMenu* Sub = P->Menu()) {
            QAction* Entry = Sub->menuAction();
            Entry->setText(P->Action()->text());
            Entry->setEnabled(P->Action()->isEnabled());
            Entry->setVisible(P->Action()->isVisible());
            FMenu->addAction(Entry);
        } else {
            FMenu->addAction(P->Action());
        }
    }
}

void TMenuPeer::Update(TPropertyId Property) {
    if (Property == TPropertyId::Items) RebuildItems();
}

void TMenuPeer::Detach() {
    Retire(FMenu);
    TPeer::Detach();
}

TMenuItemPeer::TMenuItemPeer(TQtWidgetSet& WS, TMenuItem* Item) : TMenuPeer(WS, Item, false) {
    FAction = new QAction();
    FAction->setObjectName(ToQString(Item->Name()));
    QObject::connect(FAction, &QAction::triggered, Guard(), [this] { this->Item()->UserClick(); });
    Refresh();
}

TMenuPeer* TMenuItemPeer::ContainerPeer() const {
    TMenuItem* I = Item();
    TNativeComponent* Holder = I->ParentItem() ? static_cast<TNativeComponent*>(I->ParentItem())
                                               : static_cast<TNativeComponent*>(I->Menu());
    return Holder ? dynamic_cast<TMenuPeer*>(FWS.PeerOf(Holder)) : nullptr;
}

void TMenuItemPeer::Created() {
    TMenuPeer::Created();
    if (TMenuPeer* C = ContainerPeer()) C->RebuildItems();
}

void TMenuItemPeer::Refresh() {
    if (!FAction || !Component()) return;
    TMenuItem* I = Item();
    const std::string Caption = I->Caption();
    // A caption of a single dash is a separator line, as menus have always written it. The
    // line carries no text: styles draw a separator's text as a section title, so the
    // dash itself would show.
    const bool Separator = Caption == "-";
    FAction->setSeparator(Separator);
    FAction->setText(Separator ? QString() : ToQString(Caption));
    FAction->setToolTip(ToQString(I->Hint()));
    FAction->setStatusTip(ToQString(I->Hint()));
    // Shown in the menu; the window dispatches the key itself (TFormPeer::HandleKey).
    FAction->setShortcut(ToKeySequence(I->ShortCut()));
    FAction->setEnabled(I->Enabled());
    FAction->setVisible(I->Visible());
    if (FMenu) {
        QAction* Entry = FMenu->menuAction();
        Entry->setText(FAction->text());
        Entry->setEnabled(FAction->isEnabled());
        Entry->setVisible(FAction->isVisible());
    }
}

void TMenuItemPeer::Update(TPropertyId Property) {
    if (Property == TPropertyId::Items)
        RebuildItems();
    else
        Refresh();
}

void TMenuItemPeer::Detach() {
    if (FAction) {
        FAction->setVisible(false);
        Retire(FAction);
    }
    TMenuPeer::Detach();
}

// ---- TControlPeer --------------------------------------------------------------------------

TControlPeer::TControlPeer(TQtWidgetSet& WS, TControl* Control) : TPeer(WS, Control) {}

TControlPeer* TControlPeer::ParentPeer() const {
    TWinControl* P = Control()->Parent();
    return P ? dynamic_cast<TControlPeer*>(FWS.PeerOf(P)) : nullptr;
}

QWidget* TControlPeer::ParentContainer() const {
    TControlPeer* P = ParentPeer();
    return P ? P->Container() : nullptr;
}

void TControlPeer::Adopt(QWidget* Widget) {
    FWidget = Widget;
    TControl* C = Control();
    Widget->setObjectName(ToQString(C->Name()));
    ApplyCaption();
    ApplyFont();
    Widget->setEnabled(C->Enabled());
    Widget->setToolTip(ToQString(C->Hint()));
}

void TControlPeer::Created() {
    if (!FWidget) return;
    FWS.RegisterWidget(FWidget, this);
    if (dynamic_cast<TCustomForm*>(Control())) return;
    FWidget->setVisible(Control()->Visible());
    // A control made again under a laid-out parent (it moved there) goes where it was put.
    if (Control()->Placed()) Place(Control()->Placement());
}

void TControlPeer::ApplyFont() {
    if (!FWidget) return;
    const TFont& F = Control()->Font();
    if (IsDefaultFont(F)) {
        FWidget->setFont(QFont());
        return;
    }
    QWidget* Parent = FWidget->parentWidget();
    FWidget->setFont(ToFont(F, Parent ? Parent->font() : QApplication::font()));
    if (F.Color != clWindowText) {
        QPalette P = FWidget->palette();
        QColor Color = ToColor(F.Color, P);
        P.setColor(QPalette::WindowText, Color);
        P.setColor(QPalette::Text, Color);
        P.setColor(QPalette::ButtonText, Color);
        FWidget->setPalette(P);
    }
}

void TControlPeer::Update(TPropertyId Property) {
    if (!FWidget || !Component()) return;
    TControl* C = Control();
    switch (Property) {
    case TPropertyId::Visible:
        FWidget->setVisible(C->Visible());
        break;
    case TPropertyId::Enabled:
        FWidget->setEnabled(C->Enabled());
        break;
    case TPropertyId::Hint:
        FWidget->setToolTip(ToQString(C->Hint()));
        break;
    case TPropertyId::Font:
        ApplyFont();
        break;
    case TPropertyId::Caption:
        ApplyCaption();
        break;
    case TPropertyId::Placement:
        Place(C->Placement());
        break;
    default:
        break;
    }
}

void TControlPeer::Detach() {
    if (FWidget) {
        FWS.UnregisterWidget(FWidget);
        Retire(FWidget);
    }
    TPeer::Detach();
}

bool TControlPeer::WidgetEvent(QEvent* Event) {
    if (!Component()) return false;
    switch (Event->type()) {
    case QEvent::ContextMenu:
        for (TControl* C = Control(); C; C = C->Parent())
            if (TPopupMenu* M = C->PopupMenu()) {
                FWS.UserPopup(M, static_cast<QContextMenuEvent*>(Event)->globalPos());
                return true;
            }
        return false;
    default:
        return false;
    }
}

TInsets TControlPeer::ClientInsets() const {
    return {};
}

QSize TControlPeer::NaturalSize() const {
    return FWidget ? FWidget->sizeHint().expandedTo(QSize(0, 0)) : QSize();
}

void TControlPeer::Place(const TBounds& Area) {
    const QRect Rect(Area.Left, Area.Top, Area.Width, Area.Height);
    if (FWidget && FWidget->geometry() != Rect) FWidget->setGeometry(Rect);
}

// ---- TFormPeer -----------------------------------------------------------------------------

TFormPeer::TFormPeer(TQtWidgetSet& WS, TCustomForm* Form) : TControlPeer(WS, Form) {
    auto* Window = new QWidget(nullptr, Qt::Window);
    Adopt(Window);
    ApplyBorder();
}

void TFormPeer::ApplyCaption() {
    if (FWidget) FWidget->setWindowTitle(ToQString(Form()->Caption()));
}

void TFormPeer::ApplySize() {
    TCustomForm* F = Form();
    const auto [W, H] = F->OpeningSize();
    switch (F->BorderStyle()) {
    case TFormBorderStyle::bsDialog:
    case TFormBorderStyle::bsSingle:
    case TFormBorderStyle::bsToolWindow:
        FWidget->setFixedSize(W, H);
        break;
    default:
        FWidget->setMinimumSize(0, 0);
        FWidget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        FWidget->resize(W, H);
        break;
    }
}

void TFormPeer::ApplyBorder() {
    Qt::WindowFlags Flags;
    switch (Form()->BorderStyle()) {
    case TFormBorderStyle::bsDialog:
        Flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
        break;
    case TFormBorderStyle::bsNone:
        Flags = Qt::Window | Qt::FramelessWindowHint;
        break;
    case TFormBorderStyle::bsToolWindow:
    case TFormBorderStyle::bsSizeToolWin:
        Flags = Qt::Tool;
        break;
    default:
        Flags = Qt::Window;
        break;
    }
    if (FWidget->windowFlags() == Flags) return;
    const bool WasVisible = FWidget->isVisible();
    FWidget->setWindowFlags(Flags);
    if (WasVisible) FWidget->show();
}

void TFormPeer::Update(TPropertyId Property) {
    if (!FWidget || !Component()) return;
    switch (Property) {
    case TPropertyId::Bounds:
        if (FShownOnce) ApplySize();
        break;
    case TPropertyId::BorderStyle:
        ApplyBorder();
        if (FShownOnce) ApplySize();
        break;
    case TPropertyId::TabOrder:
        break;
    case TPropertyId::Visible:
        break; // a window is shown and hidden through ShowForm and HideForm
    case TPropertyId::Placement:
        break; // the window's inside, as this backend reported it
    default:
        TControlPeer::Update(Property);
        break;
    }
}

void TFormPeer::Show() {
    TCustomForm* F = Form();
    if (!FShownOnce) {
        FShownOnce = true;
        ApplySize();
        PlaceOnFirstShow();
    }
    FWidget->setWindowModality(F->Modal() ? Qt::ApplicationModal : Qt::NonModal);
    UpdateTabOrder();
    FWidget->show();
    // Platforms without a window stack (offscreen) only complain about raise().
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) FWidget->raise();
    FWidget->activateWindow();
    // The window's size reached the form with its first resize event; the measures of
    // its widgets are final only now that they show.
    F->UserResize(FWidget->width(), FWidget->height());
    F->Realign();
    if (TWinControl* Active = F->ActiveControl())
        if (QWidget* W = FWS.WidgetOf(Active)) W->setFocus(Qt::OtherFocusReason);
}

void TFormPeer::PlaceOnFirstShow() {
    TCustomForm* F = Form();
    // Where the user left this window last time, if that is still on a screen; a window
    // of fixed size keeps its size and takes the place only.
    FPlaceKey = F->Name();
    const TWindowPlace Saved = FWS.LayoutStore().LoadWindow(FWS.UserName(), FPlaceKey);
    QRect Area;
    if (!Saved.Empty())
        if (QScreen* S = QApplication::screenAt(Saved.Geometry.topLeft() + QPoint(8, 8)))
            Area = S->availableGeometry();
    const bool Resizable = FWidget->minimumSize() != FWidget->maximumSize();
    QPoint Corner;
    if (Area.isValid()) {
        if (Resizable)
            FWidget->resize(Saved.Geometry.size().boundedTo(Area.size()).expandedTo(FWidget->minimumSize()));
        Corner = Saved.Geometry.topLeft();
    } else {
        // A new window opens over the window the user works in, or mid-screen.
        QWidget* Over = QApplication::activeWindow();
        Area = Over && Over != FWidget ? Over->frameGeometry() : QRect();
        if (!Area.isValid())
            if (QScreen* S = QApplication::primaryScreen()) Area = S->availableGeometry();
        if (!Area.isValid()) return;
        Corner = Area.center() - QPoint(FWidget->width() / 2, FWidget->height() / 2);
    }
    Corner = QPoint(std::max(Corner.x(), Area.left()), std::max(Corner.y(), Area.top()));
    // Windows opened one after another step aside, so none hides another exactly.
    for (bool Taken = true; Taken;) {
        Taken = false;
        for (QWidget* Other : QApplication::topLevelWidgets())
            if (Other != FWidget && Other->isVisible() && Other->pos() == Corner) Taken = true;
        if (Taken) Corner += QPoint(24, 24);
    }
    FWidget->move(Corner);
    if (Resizable && Saved.Maximized) FWidget->setWindowState(FWidget->windowState() | Qt::WindowMaximized);
}

void TFormPeer::SavePlace() {
    // Only the widget is used: a window being freed is no complete component any more.
    if (!FShownOnce || !FWidget || !FWidget->isVisible()) return;
    TWindowPlace Place;
    Place.Maximized = FWidget->isMaximized();
    Place.Geometry = Place.Maximized ? FWidget->normalGeometry() : QRect(FWidget->pos(), FWidget->size());
    FWS.LayoutStore().SaveWindow(FWS.UserName(), FPlaceKey, Place);
}

void TFormPeer::Detach() {
    // A window freed while it shows (closed by its owner, the host quitting) keeps its place.
    SavePlace();
    TControlPeer::Detach();
}

void TFormPeer::Hide() {
    SavePlace();
    SaveGridLayouts();
    FWidget->hide();
    FWidget->setWindowModality(Qt::NonModal);
}

void TFormPeer::SaveGridLayouts() {
    if (!Component()) return;
    ForEachControl(Form(), [this](TControl* C) {
        if (auto* G = dynamic_cast<TOrvDBGrid*>(C))
            if (auto* P = dynamic_cast<TGridPeer*>(FWS.PeerOf(G))) P->SaveLayout();
    });
}

void TFormPeer::UpdateTabOrder() {
    // Depth first, each container's windowed controls in their tab order: what Tab walks.
    std::vector<QWidget*> Chain;
    std::function<void(TWinControl*)> Walk = [&](TWinControl* Parent) {
        std::vector<TWinControl*> Kids;
        for (TControl* C : Parent->Controls())
            if (auto* W = dynamic_cast<TWinControl*>(C)) Kids.push_back(W);
        std::stable_sort(Kids.begin(), Kids.end(),
                         [](TWinControl* A, TWinControl* B) { return A->TabOrder() < B->TabOrder(); });
        for (TWinControl* K : Kids) {
            QWidget* W = FWS.WidgetOf(K);
            // A composite control (a date edit with its drop-down button) takes the focus
            // in the part it hands it to.
            if (W && W->focusProxy()) W = W->focusProxy();
            if (W && (W->focusPolicy() & Qt::TabFocus)) Chain.push_back(W);
            Walk(K);
        }
    };
    Walk(Form());
    for (std::size_t I = 1; I < Chain.size(); ++I)
        QWidget::setTabOrder(Chain[I - 1], Chain[I]);
}

bool TFormPeer::HandleKey(QKeyEvent* Event) {
    const TShortCut Key = FromKey(Event->key(), Event->modifiers());
    if (Key == scNone) return false;
    TCustomForm* F = Form();
    // The form may be gone once this returns; nothing of the peer is used after it.
    return F->UserShortCut(Key);
}

bool TFormPeer::WidgetEvent(QEvent* Event) {
    if (!Component()) return false;
    switch (Event->type()) {
    case QEvent::Close: {
        // The model decides: a modal form ends with Cancel, a browse form may ask first.
        Event->ignore();
        Form()->UserClose();
        return true;
    }
    case QEvent::KeyPress:
        return HandleKey(static_cast<QKeyEvent*>(Event));
    case QEvent::WindowDeactivate: {
        // A box or dialog the model opened takes the activation while an event runs;
        // only the user's switching to another window commits the typed text.
        if (Application->InEvent()) return false;
        Form()->UserDeactivate();
        return false;
    }
    case QEvent::Resize:
        Form()->UserResize(FWidget->width(), FWidget->height());
        return false;
    default:
        return TControlPeer::WidgetEvent(Event);
    }
}

// ---- TToolButtonPeer -----------------------------------------------------------------------

TToolButtonPeer::TToolButtonPeer(TQtWidgetSet& WS, TToolButton* Button) : TControlPeer(WS, Button) {
    FAction = new QAction();
    FAction->setObjectName(ToQString(Button->Name()));
    QObject::connect(FAction, &QAction::triggered, Guard(), [this] { this->Button()->UserClick(); });
    // Outside a tool bar the button is a widget of its own.
    if (!qobject_cast<QToolBar*>(ParentContainer())) {
        auto* Widget = new QToolButton(ParentContainer());
        Widget->setDefaultAction(FAction);
        Widget->setToolButtonStyle(Qt::ToolButtonTextOnly);
        Adopt(Widget);
    }
    Refresh();
}

void TToolButtonPeer::Created() {
    auto* Bar = qobject_cast<QToolBar*>(ParentContainer());
    if (!Bar) {
        TControlPeer::Created();
        return;
    }
    FAction->setParent(Bar);
    // In the tool bar's order: before the first later sibling that is already there.
    const std::vector<TControl*>& Siblings = Button()->Parent()->Controls();
    auto Self = std::find(Siblings.begin(), Siblings.end(), static_cast<TControl*>(Button()));
    QAction* Before = nullptr;
    for (auto It = Self == Siblings.end() ? Self : std::next(Self); It != Siblings.end() && !Before; ++It)
        if (TPeer* P = FWS.PeerOf(*It); P && P->Action() && Bar->actions().contains(P->Action()))
            Before = P->Action();
    Bar->insertAction(Before, FAction);
    Refresh();
}

void TToolButtonPeer::Refresh() {
    if (!FAction || !Component()) return;
    TToolButton* B = Button();
    FAction->setSeparator(B->Style() != TToolButtonStyle::tbsButton);
    FAction->setText(ToQString(B->Caption()));
    TAction* Command = B->Action();
    FAction->setToolTip(ToQString(CommandTip(B->Caption(), B->Hint().empty() && Command ? Command->Hint() : B->Hint(),
                                             Command ? Command->ShortCut() : scNone)));
    FAction->setEnabled(B->Enabled());
    FAction->setVisible(B->Visible());
}

void TToolButtonPeer::Update(TPropertyId Property) {
    Refresh();
    if (FWidget && Property != TPropertyId::Caption) TControlPeer::Update(Property);
}

void TToolButtonPeer::Detach() {
    if (FAction) {
        FAction->setVisible(false);
        Retire(FAction);
    }
    TControlPeer::Detach();
}

// ---- TGridPeer -----------------------------------------------------------------------------

TGridPeer::TGridPeer(TQtWidgetSet& WS, TOrvDBGrid* Grid) : TControlPeer(WS, Grid) {
    auto* View = new TQtGridView(Grid, ParentContainer());
    View->OnContextMenu = [this](const QPoint& Global) {
        if (!Component()) return;
        for (TControl* C = this->Grid(); C; C = C->Parent())
            if (TPopupMenu* M = C->PopupMenu()) {
                FWS.UserPopup(M, Global);
                return;
            }
    };
    Adopt(View);
    FLayoutID = Grid->LayoutID();
    LoadLayout();
}

TQtGridView* TGridPeer::View() const {
    return static_cast<TQtGridView*>(FWidget.data());
}

void TGridPeer::LoadLayout() {
    if (FLayoutID.empty() || !View()) return;
    TGridLayout Layout = FWS.LayoutStore().Load(FWS.UserName(), FLayoutID);
    if (Layout.Empty()) return;
    Grid()->ApplyLayout(Layout);
    // While the handle is being made the grid's own notice of its columns reaches no one.
    View()->GridModel()->ColumnsChanged();
}

void TGridPeer::SaveLayout() {
    if (FLayoutID.empty() || !View() || !Grid()->LayoutTouched()) return;
    FWS.LayoutStore().Save(FWS.UserName(), FLayoutID, Grid()->CurrentLayout());
}

void TGridPeer::Update(TPropertyId Property) {
    if (!View() || !Component()) return;
    switch (Property) {
    case TPropertyId::Columns:
        View()->GridModel()->ColumnsChanged();
        break;
    case TPropertyId::Font:
        ApplyFont();
        View()->GridModel()->TitleFontChanged();
        break;
    case TPropertyId::SelectedField:
        View()->SyncCurrent();
        break;
    case TPropertyId::DataSource:
        View()->GridModel()->GridChanged(TGridChange::Reset, -1, -1);
        break;
    case TPropertyId::ReadOnly:
        View()->viewport()->update();
        break;
    case TPropertyId::LayoutID:
        SaveLayout();
        FLayoutID = Grid()->LayoutID();
        LoadLayout();
        break;
    default:
        TControlPeer::Update(Property);
        break;
    }
}

void TGridPeer::Detach() {
    if (TQtGridView* V = View()) {
        SaveLayout();
        V->OnContextMenu = nullptr;
        V->Detach();
    }
    TControlPeer::Detach();
}

// ---- TSimplePeer ---------------------------------------------------------------------------

TSimplePeer::TSimplePeer(TQtWidgetSet& WS, TControl* Control) : TControlPeer(WS, Control) {
    QWidget* Parent = ParentContainer();
    QWidget* W = nullptr;
    QObject* G = Guard();
    TQtWidgetSet* Set = &FWS;
    if (auto* B = dynamic_cast<TBitBtn*>(Control)) {
        auto* Button = new QPushButton(Parent);
        Button->setAutoDefault(false);
        QObject::connect(Button, &QPushButton::clicked, G, [B] { B->UserClick(); });
        W = Button;
    } else if (auto* E = dynamic_cast<TOrvMeEdit*>(Control)) {
        auto* Edit = new QLineEdit(Parent);
        QObject::connect(Edit, &QLineEdit::textEdited, G, [this, E, Edit, Set](const QString& Text) {
            QPointer<QLineEdit> Self(Edit);
            E->UserSetText(FromQString(Text));
            // The model may have refused or changed the text; the edit shows the model's.
            if (Self && Set->PeerOfWidget(Self) == this) ApplyValue();
        });
        W = Edit;
    } else if (auto* D = dynamic_cast<TDateTimePicker*>(Control)) {
        // The same line edit with a drop-down calendar as a date cell: the date is typed
        // freely and taken when finished (Enter, leaving the field) or chosen in the
        // calendar. A text that is no date gives the field back its date.
        auto* Picker = new TDateEditor(Parent);
        Picker->Edit()->setFrame(true);
        Picker->Button()->setFixedWidth(20);
        auto Take = [this, D, Picker, Set] {
            if (FSetting) return;
            const QDate Day = QDate::fromString(Picker->Edit()->text().trimmed(), TDateEditor::DateFormat());
            QPointer<TDateEditor> Self(Picker);
            if (Day.isValid() && Day != ToQDate(D->Date()))
                D->UserSetDate(FromQDate(Day));
            if (Self && Set->PeerOfWidget(Self) == this) ApplyValue();
        };
        QObject::connect(Picker->Edit(), &QLineEdit::editingFinished, G, Take);
        // Connected after the editor's own handler, which has put the day into the text.
        QObject::connect(Picker->Calendar(), &QCalendarWidget::clicked, G, Take);
        QObject::connect(Picker->Calendar(), &QCalendarWidget::activated, G, Take);
        W = Picker;
    } else if (dynamic_cast<TGroupBox*>(Control)) {
        W = new QGroupBox(Parent);
    } else if (dynamic_cast<TToolBar*>(Control)) {
        auto* Bar = new QToolBar(Parent);
        Bar->setMovable(false);
        Bar->setFloatable(false);
        Bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
        W = Bar;
    } else if (dynamic_cast<TLabel*>(Control)) {
        W = new QLabel(Parent);
    } else if (dynamic_cast<TWinControl*>(Control)) {
        auto* Frame = new QFrame(Parent);
        Frame->setFrameShape(QFrame::NoFrame);
        W = Frame;
    } else {
        W = new QWidget(Parent);
    }
    Adopt(W);
    ApplyValue();
}

void TSimplePeer::ApplyCaption() {
    if (!FWidget) return;
    const std::string Caption = Control()->Caption();
    if (auto* B = qobject_cast<QPushButton*>(FWidget))
        B->setText(ToQString(Caption));
    else if (auto* G = qobject_cast<QGroupBox*>(FWidget))
        G->setTitle(ToQString(Caption));
    else if (auto* L = qobject_cast<QLabel*>(FWidget))
        L->setText(StripAccelerator(Caption));
}

void TSimplePeer::ApplyValue() {
    if (!FWidget || !Component()) return;
    FSetting = true;
    if (auto* E = dynamic_cast<TOrvMeEdit*>(Control())) {
        auto* Edit = static_cast<QLineEdit*>(FWidget.data());
        QString Text = ToQString(E->Text());
        if (Edit->text() != Text) Edit->setText(Text);
        Edit->setReadOnly(E->ReadOnly());
    } else if (auto* D = dynamic_cast<TDateTimePicker*>(Control())) {
        auto* Picker = static_cast<TDateEditor*>(FWidget.data());
        const QString Day = ToQDate(D->Date()).toString(TDateEditor::DateFormat());
        if (Picker->Edit()->text() != Day) Picker->Edit()->setText(Day);
    }
    FSetting = false;
}

void TSimplePeer::Update(TPropertyId Property) {
    if (!FWidget || !Component()) return;
    switch (Property) {
    case TPropertyId::Text:
    case TPropertyId::ReadOnly:
    case TPropertyId::Date:
        ApplyValue();
        break;
    default:
        TControlPeer::Update(Property);
        break;
    }
}

TInsets TSimplePeer::ClientInsets() const {
    // Aligned controls of a group box stay below its title.
    if (auto* G = qobject_cast<QGroupBox*>(FWidget)) return {2, G->fontMetrics().height() + 2, 2, 2};
    return {};
}

QSize TSimplePeer::NaturalSize() const {
    QSize S = TControlPeer::NaturalSize();
    if (qobject_cast<QToolBar*>(FWidget)) S.setHeight(std::max(S.height(), 26));
    return S;
}

// ---- MakePeer ------------------------------------------------------------------------------

std::unique_ptr<TPeer> MakePeer(TQtWidgetSet& WS, TNativeComponent* Component) {
    if (auto* F = dynamic_cast<TCustomForm*>(Component)) return std::make_unique<TFormPeer>(WS, F);
    if (auto* G = dynamic_cast<TOrvDBGrid*>(Component)) return std::make_unique<TGridPeer>(WS, G);
    if (auto* B = dynamic_cast<TToolButton*>(Component)) return std::make_unique<TToolButtonPeer>(WS, B);
    if (auto* C = dynamic_cast<TControl*>(Component)) return std::make_unique<TSimplePeer>(WS, C);
    if (auto* A = dynamic_cast<TAction*>(Component)) return std::make_unique<TActionPeer>(WS, A);
    if (auto* I = dynamic_cast<TMenuItem*>(Component)) return std::make_unique<TMenuItemPeer>(WS, I);
    if (dynamic_cast<TPopupMenu*>(Component)) return std::make_unique<TMenuPeer>(WS, Component, true);
    // Action lists and bare actions draw nothing, but what depends on them is realised.
    return std::make_unique<TPeer>(WS, Component);
}

} // namespace orv::qt
