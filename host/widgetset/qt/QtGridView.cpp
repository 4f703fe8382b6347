#include "host/widgetset/qt/QtGridView.h"

#include "host/forms/Forms.h"
#include "host/widgetset/qt/QtConvert.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>

namespace orv::qt {

namespace {

// A drop-down entry shows "code  name"; the field takes the name.
constexpr int PickTextRole = Qt::UserRole;
constexpr int PickCodeRole = Qt::UserRole + 1;

// The value a drop-down hands to its field: the entry whose shown text, name or code is
// what the box holds; a text that names no entry goes as typed, for the field to refuse.
QString PickedText(const QComboBox* Box) {
    const QString Text = Box->currentText().trimmed();
    if (Text.isEmpty()) return {};
    for (int I = 0; I < Box->count(); ++I)
        if (Box->itemText(I) == Text || Box->itemData(I, PickTextRole).toString() == Text ||
            Box->itemData(I, PickCodeRole).toString().compare(Text, Qt::CaseInsensitive) == 0)
            return Box->itemData(I, PickTextRole).toString();
    return Text;
}

QString EditorText(QWidget* Editor) {
    if (auto* Box = qobject_cast<QComboBox*>(Editor)) return PickedText(Box);
    if (auto* E = qobject_cast<TEllipsisEditor*>(Editor)) return E->Edit()->text();
    if (auto* Line = qobject_cast<QLineEdit*>(Editor)) return Line->text();
    return {};
}

QLineEdit* LineEditOf(QWidget* Editor) {
    if (auto* E = qobject_cast<TEllipsisEditor*>(Editor)) return E->Edit();
    return qobject_cast<QLineEdit*>(Editor);
}

} // namespace

// ---- TEllipsisEditor -----------------------------------------------------------------------

TEllipsisEditor::TEllipsisEditor(QWidget* Parent) : QWidget(Parent) {
    auto* Layout = new QHBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->setSpacing(0);
    FEdit = new QLineEdit(this);
    FEdit->setFrame(false);
    FButton = new QToolButton(this);
    FButton->setText(QStringLiteral("…"));
    // The button must not take the focus from the text, or the cell would be left.
    FButton->setFocusPolicy(Qt::NoFocus);
    FButton->setFixedWidth(18);
    Layout->addWidget(FEdit);
    Layout->addWidget(FButton);
    setFocusProxy(FEdit);
    connect(FButton, &QToolButton::clicked, this, &TEllipsisEditor::ButtonClicked);
    FEdit->installEventFilter(this);
}

bool TEllipsisEditor::eventFilter(QObject* Watched, QEvent* Event) {
    // The view watches the editor itself, but the focus lives in the text inside it.
    if (Watched == FEdit && Event->type() == QEvent::FocusOut) {
        QWidget* Now = QApplication::focusWidget();
        auto Reason = static_cast<QFocusEvent*>(Event)->reason();
        // A hidden editor is being closed by the view already.
        if (isVisible() && Reason != Qt::PopupFocusReason && (!Now || !isAncestorOf(Now))) emit FocusLeft();
    }
    return QWidget::eventFilter(Watched, Event);
}

// ---- TDateEditor --------------------------------------------------------------------------

TDateEditor::TDateEditor(QWidget* Parent) : TEllipsisEditor(Parent) {
    Button()->setText(QStringLiteral("▾"));
    FCalendar = new QCalendarWidget(this);
    // A pop-up closes itself on a click elsewhere and hands the focus back to the text.
    FCalendar->setWindowFlags(Qt::Popup);
    FCalendar->setGridVisible(true);
    FCalendar->hide();
    connect(this, &TEllipsisEditor::ButtonClicked, this, &TDateEditor::ShowCalendar);
    connect(FCalendar, &QCalendarWidget::clicked, this, &TDateEditor::DayChosen);
    connect(FCalendar, &QCalendarWidget::activated, this, &TDateEditor::DayChosen);
}

void TDateEditor::ShowCalendar() {
    // The calendar opens on the day in the text; on today when the text holds none.
    QDate Day = QDate::fromString(Edit()->text().trimmed(), DateFormat());
    FCalendar->setSelectedDate(Day.isValid() ? Day : QDate::currentDate());
    FCalendar->adjustSize();
    FCalendar->move(mapToGlobal(rect().bottomLeft()));
    FCalendar->show();
    FCalendar->setFocus(Qt::PopupFocusReason);
}

bool TDateEditor::eventFilter(QObject* Watched, QEvent* Event) {
    // The keys that drop a combo box down drop the calendar down, so no mouse is needed.
    if (Watched == Edit() && Event->type() == QEvent::KeyPress) {
        auto* Key = static_cast<QKeyEvent*>(Event);
        if (Key->key() == Qt::Key_F4 ||
            (Key->key() == Qt::Key_Down && (Key->modifiers() & Qt::AltModifier))) {
            ShowCalendar();
            return true;
        }
    }
    return TEllipsisEditor::eventFilter(Watched, Event);
}

void TDateEditor::DayChosen(const QDate& Day) {
    FCalendar->hide();
    // The chosen day is typed text like any other: the field decides on it at commit.
    Edit()->setText(Day.toString(DateFormat()));
    Edit()->setFocus(Qt::PopupFocusReason);
    Edit()->selectAll();
}

// ---- TGridDelegate -------------------------------------------------------------------------

TGridDelegate::TGridDelegate(QTableView* View, TQtGridModel* Model)
    : QStyledItemDelegate(View), FView(View), FModel(Model) {}

QRect TGridDelegate::ButtonRect(const QRect& Cell) {
    int W = std::min(18, Cell.width());
    return QRect(Cell.right() - W + 1, Cell.top(), W, Cell.height());
}

QWidget* TGridDelegate::createEditor(QWidget* Parent, const QStyleOptionViewItem&,
                                     const QModelIndex& Index) const {
    const int Col = Index.column();
    QWidget* Editor = nullptr;
    std::vector<TColumn::TPickItem> Pick = FModel->PickItems(Col);
    if (!Pick.empty()) {
        auto* Box = new QComboBox(Parent);
        for (const TColumn::TPickItem& P : Pick) {
            const QString Text = ToQString(P.Text);
            Box->addItem(P.Code.empty() ? Text : ToQString(P.Code) + QStringLiteral("  ") + Text);
            Box->setItemData(Box->count() - 1, Text, PickTextRole);
            Box->setItemData(Box->count() - 1, ToQString(P.Code), PickCodeRole);
        }
        // Typing narrows the list to the entries whose code or name holds the text.
        Box->setEditable(true);
        Box->setInsertPolicy(QComboBox::NoInsert);
        Box->completer()->setCompletionMode(QCompleter::PopupCompletion);
        Box->completer()->setFilterMode(Qt::MatchContains);
        Box->completer()->setCaseSensitivity(Qt::CaseInsensitive);
        // As tall as its entries, within the window that holds the grid.
        const int RowHeight = std::max(1, Box->view()->sizeHintForRow(0));
        const int Room = std::max(1, (FView->window()->height() - 40) / RowHeight);
        Box->setMaxVisibleItems(std::min(Box->count(), Room));
        Box->completer()->setMaxVisibleItems(Box->maxVisibleItems());
        // The grid holds what the typed text names, as a command of the window would take it.
        connect(Box->lineEdit(), &QLineEdit::textEdited, this,
                [this, Box] { FModel->UserEditorText(PickedText(Box)); });
        // A choice in the list is the whole edit: it goes to the row at once.
        connect(Box, &QComboBox::activated, this, [this, Box] {
            emit const_cast<TGridDelegate*>(this)->commitData(Box);
            emit const_cast<TGridDelegate*>(this)->closeEditor(Box);
        });
        Editor = Box;
    } else if (FModel->HasEllipsis(Col)) {
        auto* E = new TEllipsisEditor(Parent);
        QPersistentModelIndex Where(Index);
        connect(E, &TEllipsisEditor::ButtonClicked, this,
                [this, E, Where] { const_cast<TGridDelegate*>(this)->EllipsisClicked(E, Where); });
        connect(E, &TEllipsisEditor::FocusLeft, this,
                [this, E] { const_cast<TGridDelegate*>(this)->FocusLeft(E); });
        Editor = E;
    } else if (FModel->IsDateColumn(Col)) {
        auto* E = new TDateEditor(Parent);
        connect(E, &TEllipsisEditor::FocusLeft, this,
                [this, E] { const_cast<TGridDelegate*>(this)->FocusLeft(E); });
        Editor = E;
    } else {
        auto* Line = new QLineEdit(Parent);
        Line->setFrame(false);
        Editor = Line;
    }
    if (QLineEdit* Line = LineEditOf(Editor)) {
        if (int Max = FModel->MaxLength(Col); Max > 0) Line->setMaxLength(Max);
        Line->setAlignment(Index.data(Qt::TextAlignmentRole).value<Qt::Alignment>());
        connect(Line, &QLineEdit::textChanged, this,
                [this](const QString& Text) { FModel->UserEditorText(Text); });
    }
    FOpenEditor = Editor;
    FModel->UserOpenEditor(Index.row(), Col);
    return Editor;
}

void TGridDelegate::setEditorData(QWidget* Editor, const QModelIndex& Index) const {
    // An editor with typed text keeps it, whatever the row does meanwhile.
    if (Editor == FOpenEditor && FModel->Grid() && FModel->Grid()->HasPendingEdit()) return;
    const QString Text = Index.data(Qt::EditRole).toString();
    if (auto* Box = qobject_cast<QComboBox*>(Editor)) {
        Box->setCurrentIndex(Box->findData(Text, PickTextRole));
        // What the clerk types replaces the entry shown, as in a text cell.
        Box->lineEdit()->selectAll();
    }
    else if (QLineEdit* Line = LineEditOf(Editor))
        Line->setText(Text);
}

void TGridDelegate::setModelData(QWidget* Editor, QAbstractItemModel*, const QModelIndex&) const {
    Commit(Editor);
}

bool TGridDelegate::Commit(QWidget* Editor) const {
    // The grid holds the text as typed and hands it over only once.
    if (Editor && Editor == FOpenEditor && FModel->Grid() &&
        FModel->Grid()->EditorText() != FromQString(EditorText(Editor)))
        FModel->UserEditorText(EditorText(Editor));
    return FModel->CommitEditor();
}

void TGridDelegate::destroyEditor(QWidget* Editor, const QModelIndex& Index) const {
    if (Editor == FOpenEditor) {
        FOpenEditor = nullptr;
        // Closed without its text being taken (Escape): the grid drops it as well.
        FModel->UserCancelEditor();
    }
    QStyledItemDelegate::destroyEditor(Editor, Index);
}

void TGridDelegate::SelectEditorText() const {
    QLineEdit* Line = LineEditOf(FOpenEditor);
    if (!Line) return;
    Line->setFocus(Qt::OtherFocusReason);
    Line->selectAll();
}

bool TGridDelegate::LeftForAnotherControl() const {
    // A box or dialog of the model took the focus, or another window did: the typed text
    // waits in the open editor (the window's deactivation commits it).
    if (Application->InEvent()) return false;
    QWidget* Now = QApplication::focusWidget();
    if (!Now || Now->window() != FView->window()) return false;
    // A click into the grid itself: moving to another cell commits, staying keeps editing.
    return Now != FView && !FView->isAncestorOf(Now);
}

void TGridDelegate::FocusLeft(QWidget* Editor) {
    auto* View = qobject_cast<TQtGridView*>(FView);
    // The view may be closing the editor itself, which moves the focus first.
    if (!View || !View->Editing() || !LeftForAnotherControl()) return;
    if (!Commit(Editor)) return;
    emit commitData(Editor);
    emit closeEditor(Editor);
}

bool TGridDelegate::eventFilter(QObject* Object, QEvent* Event) {
    auto* Editor = qobject_cast<QWidget*>(Object);
    if (!Editor || Editor != FOpenEditor) return QStyledItemDelegate::eventFilter(Object, Event);
    switch (Event->type()) {
    case QEvent::KeyPress:
        switch (static_cast<QKeyEvent*>(Event)->key()) {
        case Qt::Key_Enter:
        case Qt::Key_Return:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            // The text goes to its field before the editor closes; a refusal keeps it.
            if (!Commit(Editor)) return true;
            break;
        default:
            break;
        }
        break;
    case QEvent::FocusOut:
        // The editor closes only once its text is taken.
        if (qobject_cast<TEllipsisEditor*>(Editor)) break;
        FocusLeft(Editor);
        return true;
    default:
        break;
    }
    return QStyledItemDelegate::eventFilter(Object, Event);
}

void TGridDelegate::updateEditorGeometry(QWidget* Editor, const QStyleOptionViewItem& Option,
                                         const QModelIndex&) const {
    Editor->setGeometry(Option.rect);
}

void TGridDelegate::EllipsisClicked(QWidget* Editor, const QModelIndex& Index) {
    if (!Index.isValid()) return;
    const int Row = Index.row(), Col = Index.column();
    // Text typed before the click counts first; a refused text keeps the editor open.
    if (!Commit(Editor)) return;
    emit closeEditor(Editor, QAbstractItemDelegate::NoHint);
    QueueEllipsis(Row, Col);
}

void TGridDelegate::QueueEllipsis(int Row, int Col) {
    // The picker runs from the event loop, not from inside the button's click.
    QPointer<TQtGridModel> Model(FModel);
    QMetaObject::invokeMethod(
        this,
        [Model, Row, Col] {
            if (Model) Model->UserClickEllipsis(Row, Col);
        },
        Qt::QueuedConnection);
}

void TGridDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                          const QModelIndex& Index) const {
    QStyledItemDelegate::paint(Painter, Option, Index);
    if (!FModel->HasEllipsis(Index.column()) || FView->currentIndex() != Index) return;
    QStyleOptionButton Button;
    Button.rect = ButtonRect(Option.rect);
    Button.text = QStringLiteral("…");
    Button.state = QStyle::State_Enabled | QStyle::State_Raised;
    Button.palette = Option.palette;
    QStyle* Style = Option.widget ? Option.widget->style() : QApplication::style();
    Style->drawControl(QStyle::CE_PushButton, &Button, Painter, Option.widget);
}

bool TGridDelegate::editorEvent(QEvent* Event, QAbstractItemModel* Model, const QStyleOptionViewItem& Option,
                                const QModelIndex& Index) {
    const bool Press = Event->type() == QEvent::MouseButtonPress;
    const bool Release = Event->type() == QEvent::MouseButtonRelease;
    if ((Press || Release) && FModel->HasEllipsis(Index.column()) && FView->currentIndex() == Index) {
        auto* Mouse = static_cast<QMouseEvent*>(Event);
        if (Mouse->button() == Qt::LeftButton &&
            ButtonRect(Option.rect).contains(Mouse->position().toPoint())) {
            if (Release) QueueEllipsis(Index.row(), Index.column());
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(Event, Model, Option, Index);
}

// ---- TQtGridView ---------------------------------------------------------------------------

TQtGridView::TQtGridView(TOrvDBGrid* Grid, QWidget* Parent) : QTableView(Parent) {
    FModel = new TQtGridModel(Grid, this);
    setModel(FModel);
    FDelegate = new TGridDelegate(this, FModel);
    setItemDelegate(FDelegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(true);

    // Fixed row heights keep a grid of any length as cheap as one screenful.
    QHeaderView* V = verticalHeader();
    V->setSectionResizeMode(QHeaderView::Fixed);
    V->setDefaultSectionSize(fontMetrics().height() + 6);
    V->setMinimumSectionSize(fontMetrics().height() + 2);
    V->setDefaultAlignment(Qt::AlignCenter);
    V->setFixedWidth(16);

    QHeaderView* H = horizontalHeader();
    H->setSectionsMovable(true);
    H->setHighlightSections(false);
    H->setStretchLastSection(false);
    H->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    H->setSectionResizeMode(QHeaderView::Interactive);

    connect(FModel, &TQtGridModel::CurrentCellChanged, this, &TQtGridView::SyncCurrent);
    connect(FModel, &TQtGridModel::EditorCloseRequested, this, [this] {
        if (QWidget* E = FDelegate->OpenEditor()) closeEditor(E, QAbstractItemDelegate::NoHint);
    });
    connect(FModel, &TQtGridModel::EditorTextRefused, this, [this] { FDelegate->SelectEditorText(); });
    connect(FModel, &TQtGridModel::ColumnsRefreshed, this, &TQtGridView::ApplyColumns);
    connect(H, &QHeaderView::sectionMoved, this, &TQtGridView::SectionMoved);
    connect(H, &QHeaderView::sectionResized, this, &TQtGridView::SectionResized);
    ApplyColumns();
    SyncCurrent();
}

TQtGridView::~TQtGridView() = default;

void TQtGridView::Detach() {
    FMovePending = false;
    FPendingMove = QPersistentModelIndex();
    FModel->Detach();
}

void TQtGridView::ApplyColumns() {
    FSyncing = true;
    const std::vector<std::string>& Fields = FModel->ColumnFields();
    // A character of a column is a digit's width, as the classic grids count it.
    const int Avg = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (int I = 0; I < static_cast<int>(Fields.size()); ++I) {
        setColumnHidden(I, !FModel->ColumnVisible(I));
        const std::string& Field = Fields[static_cast<std::size_t>(I)];
        if (int Set = FModel->ColumnSetWidth(I); Set > 0) {
            setColumnWidth(I, Set);
            continue;
        }
        auto Known = FDefaultWidths.find(Field);
        if (Known == FDefaultWidths.end())
            Known = FDefaultWidths.emplace(Field, FModel->DefaultColumnWidth(I, Avg)).first;
        setColumnWidth(I, Known->second);
    }
    FSyncing = false;
}

void TQtGridView::SyncCurrent() {
    TOrvDBGrid* G = FModel->Grid();
    if (!G || FMovePending) return;
    const int R = G->CurrentRow(), C = G->SelectedIndex();
    QModelIndex Target;
    if (R >= 0 && R < FModel->rowCount() && C >= 0 && C < FModel->columnCount()) Target = FModel->index(R, C);
    if (Target == currentIndex()) return;
    FSyncing = true;
    if (Target.isValid())
        selectionModel()->setCurrentIndex(Target, QItemSelectionModel::ClearAndSelect);
    else
        selectionModel()->clear();
    FSyncing = false;
    if (Target.isValid()) scrollTo(Target);
}

void TQtGridView::FlushPendingMove() {
    if (!FMovePending) return;
    FMovePending = false;
    QModelIndex Target = FPendingMove;
    FPendingMove = QPersistentModelIndex();
    if (Target.isValid() && FModel->Grid()) FModel->UserSelectCell(Target.row(), Target.column());
    SyncCurrent();
}

void TQtGridView::currentChanged(const QModelIndex& Current, const QModelIndex& Previous) {
    if (!FSyncing && Current.isValid() && FModel->Grid() && FDelegate->OpenEditor() &&
        FModel->Grid()->HasPendingEdit()) {
        // The typed text goes to its cell before the cell is left. Meanwhile the grid's
        // notifications must not move the view; a refusal keeps the cell and its editor.
        const bool WasPending = FMovePending;
        FMovePending = true;
        const bool Taken = FDelegate->Commit(FDelegate->OpenEditor());
        FMovePending = WasPending;
        if (!Taken) {
            FSyncing = true;
            if (Previous.isValid())
                selectionModel()->setCurrentIndex(Previous, QItemSelectionModel::ClearAndSelect);
            FSyncing = false;
            FDelegate->SelectEditorText();
            return;
        }
    }
    QTableView::currentChanged(Current, Previous);
    if (FSyncing || !Current.isValid() || !FModel->Grid()) return;
    // Settling the row being left may ask the user something; that waits until the view
    // has finished its own handling of the click or key.
    FPendingMove = Current;
    if (FMovePending) return;
    FMovePending = true;
    QMetaObject::invokeMethod(this, &TQtGridView::FlushPendingMove, Qt::QueuedConnection);
}

void TQtGridView::keyPressEvent(QKeyEvent* Event) {
    TOrvDBGrid* G = FModel->Grid();
    const Qt::KeyboardModifiers Mods =
        Event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool Tab = Event->key() == Qt::Key_Tab || Event->key() == Qt::Key_Backtab;
    const bool Back = Event->key() == Qt::Key_Backtab || (Mods & Qt::ShiftModifier);
    if (!G || state() == EditingState) {
        QTableView::keyPressEvent(Event);
        return;
    }
    // Ctrl+Tab leaves the grid; Tab leaves it only past the last (Shift+Tab the first) cell.
    if (Tab && (Mods & Qt::ControlModifier)) {
        QWidget::focusNextPrevChild(!Back);
        return;
    }
    if (Tab && (Mods & ~Qt::ShiftModifier) == Qt::NoModifier &&
        !moveCursor(Back ? MovePrevious : MoveNext, Mods).isValid()) {
        QWidget::focusNextPrevChild(!Back);
        return;
    }
    if (Mods == Qt::NoModifier && (Event->key() == Qt::Key_Down || Event->key() == Qt::Key_Escape)) {
        const TShortCut Key = Event->key() == Qt::Key_Down ? VK_DOWN : VK_ESCAPE;
        if (G->UserKey(Key)) {
            Event->accept();
            return;
        }
        // Escape that is not the grid's reaches the window (a dialog's cancel button).
        if (Key == VK_ESCAPE) {
            Event->ignore();
            return;
        }
    }
    // A character typed onto a cell that takes no typing: the window says why.
    const QModelIndex At = currentIndex();
    if (At.isValid() && !(Mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) &&
        !Event->text().isEmpty() && Event->text().at(0).isPrint() && !(model()->flags(At) & Qt::ItemIsEditable)) {
        G->UserTypedIntoReadOnlyCell(At.column());
    }
    QTableView::keyPressEvent(Event);
}

QModelIndex TQtGridView::moveCursor(CursorAction Action, Qt::KeyboardModifiers Modifiers) {
    if (Action != MoveNext && Action != MovePrevious) return QTableView::moveCursor(Action, Modifiers);
    // Tab walks the cells row by row in the columns' shown order, over the cells that take
    // typing when the grid has any (so typed text never lands on a column that only shows),
    // and ends past the last cell (Shift+Tab the first): no wrapping round.
    QAbstractItemModel* M = model();
    const QModelIndex At = currentIndex();
    if (!M || !At.isValid()) return {};
    QHeaderView* Header = horizontalHeader();
    std::vector<int> Cols; // logical columns, left to right as shown
    for (int V = 0; V < Header->count(); ++V)
        if (const int L = Header->logicalIndex(V); !Header->isSectionHidden(L)) Cols.push_back(L);
    auto Takes = [M](int Row, int Col) { return bool(M->flags(M->index(Row, Col)) & Qt::ItemIsEditable); };
    const bool AnyTakes = std::any_of(Cols.begin(), Cols.end(), [&](int C) { return Takes(At.row(), C); });
    const int Step = Action == MoveNext ? 1 : -1;
    const int Count = static_cast<int>(Cols.size());
    int Pos = At.row() * Count + static_cast<int>(std::find(Cols.begin(), Cols.end(), At.column()) - Cols.begin());
    for (Pos += Step; Pos >= 0 && Pos < M->rowCount() * Count; Pos += Step) {
        const int Row = Pos / Count, Col = Cols[static_cast<std::size_t>(Pos % Count)];
        if (!AnyTakes || Takes(Row, Col)) return M->index(Row, Col);
    }
    return {};
}

void TQtGridView::contextMenuEvent(QContextMenuEvent* Event) {
    if (OnContextMenu) {
        OnContextMenu(Event->globalPos());
        Event->accept();
        return;
    }
    QTableView::contextMenuEvent(Event);
}

void TQtGridView::SectionMoved(int, int OldVisual, int NewVisual) {
    if (FSyncing) return;
    // The grid owns the column order: the header's own move is undone and the grid moves
    // the column, which the model then shows.
    FSyncing = true;
    horizontalHeader()->moveSection(NewVisual, OldVisual);
    FSyncing = false;
    if (TOrvDBGrid* G = FModel->Grid()) G->UserMoveColumn(OldVisual, NewVisual);
}

void TQtGridView::SectionResized(int Logical, int, int NewSize) {
    // The grid's column owns the width; the view shows it back through ApplyColumns.
    if (FSyncing) return;
    if (TOrvDBGrid* G = FModel->Grid()) G->UserResizeColumn(Logical, NewSize);
}

} // namespace orv::qt
