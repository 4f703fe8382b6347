// The table view that shows a TOrvDBGrid, its cell editors and its column layout.
#pragma once

#include "host/widgetset/qt/QtGridModel.h"
#include "host/widgetset/qt/QtLayoutStore.h"

#include <QLineEdit>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>
#include <map>
#include <string>

class QCalendarWidget;
class QToolButton;

namespace orv::qt {

// A line edit with the "…" button of a column whose cells open a picker.
class TEllipsisEditor : public QWidget {
    Q_OBJECT

public:
    explicit TEllipsisEditor(QWidget* Parent);
    QLineEdit* Edit() const { return FEdit; }
    QToolButton* Button() const { return FButton; }

signals:
    void ButtonClicked();
    // The focus went somewhere outside the editor.
    void FocusLeft();

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QLineEdit* FEdit;
    QToolButton* FButton;
};

// The editor of a date cell: the same line edit, so typed text, a cleared cell (no date)
// and a refused text take the line edit's path to the field, with a drop-down calendar
// on the button that writes the chosen day into the text in the fields' own format. A
// spin-box date editor is not used: it has no empty state, and its own validation would
// correct or swallow text before the field's rules see it.
class TDateEditor : public TEllipsisEditor {
    Q_OBJECT

public:
    explicit TDateEditor(QWidget* Parent);
    // The calendar of the drop-down; hidden until the button is pressed.
    QCalendarWidget* Calendar() const { return FCalendar; }
    void ShowCalendar();

    static QString DateFormat() { return QStringLiteral("yyyy-MM-dd"); }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void DayChosen(const QDate& Day);
    QCalendarWidget* FCalendar;
};

// Cell editors: a drop-down list for a column with a pick list (a lookup column), a line
// edit with an ellipsis button for a column that has one, a line edit with a drop-down
// calendar for a date column, a plain line edit otherwise.
// The grid hears of the editor as it opens, of each change of its text and of its end,
// so a command of the window finds the typed text; the text reaches the field only when
// the user changed it, so opening and leaving an editor does not put the row into
// editing. Enter, Tab and moving to another cell commit the text; a refusal keeps the
// editor open with the text as typed, selected.
class TGridDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit TGridDelegate(QTableView* View, TQtGridModel* Model);

    QWidget* createEditor(QWidget* Parent, const QStyleOptionViewItem& Option,
                          const QModelIndex& Index) const override;
    void setEditorData(QWidget* Editor, const QModelIndex& Index) const override;
    void setModelData(QWidget* Editor, QAbstractItemModel* Model, const QModelIndex& Index) const override;
    void updateEditorGeometry(QWidget* Editor, const QStyleOptionViewItem& Option,
                              const QModelIndex& Index) const override;
    void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
               const QModelIndex& Index) const override;
    bool editorEvent(QEvent* Event, QAbstractItemModel* Model, const QStyleOptionViewItem& Option,
                     const QModelIndex& Index) override;
    void destroyEditor(QWidget* Editor, const QModelIndex& Index) const override;

    // The editor open now, if any.
    QWidget* OpenEditor() const { return FOpenEditor; }
    // Gives the open editor the focus with its whole text selected.
    void SelectEditorText() const;
    // Hands the editor's text to its field; false when it was refused.
    bool Commit(QWidget* Editor) const;

    // The rectangle of the ellipsis button drawn in a cell.
    static QRect ButtonRect(const QRect& Cell);

protected:
    bool eventFilter(QObject* Object, QEvent* Event) override;

private:
    void EllipsisClicked(QWidget* Editor, const QModelIndex& Index);
    void QueueEllipsis(int Row, int Col);
    // Whether the focus leaving the editor is the user leaving the cell for another
    // control of the window (the cell's text is then committed).
    bool LeftForAnotherControl() const;
    void FocusLeft(QWidget* Editor);
    QTableView* FView;
    TQtGridModel* FModel;
    mutable QPointer<QWidget> FOpenEditor;
};

// Invariant: the view's current cell follows the grid's current row and selected column;
// a move the user makes is handed to the grid, which may refuse it (the row's checks), and
// the view then goes back to the grid's cell.
class TQtGridView : public QTableView {
    Q_OBJECT

public:
    TQtGridView(TOrvDBGrid* Grid, QWidget* Parent);
    ~TQtGridView() override;

    TQtGridModel* GridModel() const { return FModel; }
    // The grid is going away: the view shows nothing from here on.
    void Detach();

    // Applies the columns' visibility and widths.
    void ApplyColumns();
    // Makes the view's current cell the grid's.
    void SyncCurrent();
    // Hands a pending move of the user to the grid now.
    void FlushPendingMove();
    // Whether a cell editor is open (and not being closed).
    bool Editing() const { return state() == QAbstractItemView::EditingState; }

    std::function<void(const QPoint& Global)> OnContextMenu;

protected:
    void currentChanged(const QModelIndex& Current, const QModelIndex& Previous) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;
    // The keys of a data grid: Down past the last row, Escape on an edited row, Tab out of
    // the last cell, Ctrl+Tab out of the grid, typing into a cell that takes none.
    void keyPressEvent(QKeyEvent* Event) override;
    QModelIndex moveCursor(CursorAction Action, Qt::KeyboardModifiers Modifiers) override;

private:
    void SectionMoved(int Logical, int OldVisual, int NewVisual);
    void SectionResized(int Logical, int OldSize, int NewSize);

    TQtGridModel* FModel;
    TGridDelegate* FDelegate;
    // Default widths by field name, worked out once: a reset may arrive while a field is
    // being destroyed, and a field in that state must not be asked anything.
    std::map<std::string, int> FDefaultWidths;
    bool FSyncing = false;
    bool FMovePending = false;
    QPersistentModelIndex FPendingMove;
};

} // namespace orv::qt
