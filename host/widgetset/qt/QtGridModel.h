// The rows and columns of a TOrvDBGrid as a Qt table model.
#pragma once

#include "host/forms/DBGrids.h"

#include <QAbstractTableModel>

#include <string>
#include <vector>

namespace orv::qt {

// Invariants:
// - rowCount() is the grid's display row count as of the last notification the model
//   handled; it changes only between a begin/end pair (insert, remove, reset), so a view
//   never sees a count that its signals did not announce. A notification that does not
//   fit what the model holds ends in a reset, never in a wrong count.
// - Every change the user makes goes through the grid's User* entry points, which run it
//   through Application->HandleEvent: a refusal becomes the message box and leaves the
//   data as the data set has it.
// - After Detach() the model holds no grid and shows nothing; the grid may be gone.
class TQtGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit TQtGridModel(TOrvDBGrid* Grid, QObject* Parent = nullptr);
    ~TQtGridModel() override;

    TOrvDBGrid* Grid() const { return FGrid; }
    void Detach();

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& Index) const override;
    // Text entered into a cell: its row becomes current, its column selected, and the
    // text goes to the field. Returns whether the field took it.
    bool setData(const QModelIndex& Index, const QVariant& Value, int Role = Qt::EditRole) override;

    // The backend's notifications of the grid.
    void GridChanged(TGridChange Change, int First, int Last);
    void ColumnsChanged();
    void TitleFontChanged();

    // The user moved to a cell; returns whether the grid's current cell is that cell now.
    bool UserSelectCell(int Row, int Col);
    // The user pressed a cell's ellipsis button, drawn on the cell or in its editor.
    void UserClickEllipsis(int Row, int Col);

    // The view's cell editor, as the grid must know it: opened on a cell, its text as
    // the user types it, dropped (Escape).
    void UserOpenEditor(int Row, int Col);
    void UserEditorText(const QString& Text);
    void UserCancelEditor();
    // Hands the editor's text to its field. False when it was refused: the message has
    // been shown and the editor must stay open.
    bool CommitEditor();

    // Field names of the columns, left to right, as of the last column notification.
    const std::vector<std::string>& ColumnFields() const { return FColumnFields; }
    std::vector<TColumn::TPickItem> PickItems(int Col) const;
    bool HasEllipsis(int Col) const;
    // Whether the column shows a date field of its own row (not a lookup's result).
    bool IsDateColumn(int Col) const;
    // Characters a cell of the column takes; 0 for no limit.
    int MaxLength(int Col) const;
    bool ColumnVisible(int Col) const;
    // The width the grid gives the column; 0 when it leaves it to the toolkit.
    int ColumnSetWidth(int Col) const;
    // The toolkit's width for the column's field: its display width in characters.
    int DefaultColumnWidth(int Col, int AverageCharWidth) const;

signals:
    // The grid's current row or selected column may have moved; views follow it.
    void CurrentCellChanged();
    // Column order, titles, widths or visibility may have changed.
    void ColumnsRefreshed();
    // A command of the window committed the editor's text: the view closes the editor.
    void EditorCloseRequested();
    // The field refused the editor's text: the view keeps the editor with the text selected.
    void EditorTextRefused();

private:
    enum class TPending { None, Insert, Remove, Broken };
    TColumn* ColumnAt(int Col) const;
    TField* FieldAt(int Col) const;
    void Reset();
    void ReadColumns();
    void RowIndicatorChanged(int Row);

    TOrvDBGrid* FGrid;
    int FRowCount = 0;
    std::vector<std::string> FColumnFields;
    TPending FPending = TPending::None;
    int FPendingFirst = 0, FPendingLast = -1;
    int FIndicatorRow = -1;
    // The view commits the editor itself and closes it its own way meanwhile.
    bool FCommitting = false;
};

} // namespace orv::qt
