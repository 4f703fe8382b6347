#include "host/widgetset/qt/QtGridModel.h"

#include "host/forms/Forms.h"
#include "host/widgetset/qt/QtConvert.h"

#include <QGuiApplication>
#include <QPointer>

#include <algorithm>

namespace orv::qt {

namespace {

bool IsNumeric(const TField* F) {
    switch (F->DataType()) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
    case TFieldType::ftLargeint:
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD:
        return !F->Lookup();
    default:
        return false;
    }
}

} // namespace

TQtGridModel::TQtGridModel(TOrvDBGrid* Grid, QObject* Parent) : QAbstractTableModel(Parent), FGrid(Grid) {
    FRowCount = FGrid->RowCount();
    ReadColumns();
    FIndicatorRow = FGrid->CurrentRow();
}

TQtGridModel::~TQtGridModel() = default;

void TQtGridModel::Detach() {
    if (!FGrid) return;
    beginResetModel();
    FGrid = nullptr;
    FRowCount = 0;
    FColumnFields.clear();
    FPending = TPending::None;
    FIndicatorRow = -1;
    endResetModel();
}

TColumn* TQtGridModel::ColumnAt(int Col) const {
    if (!FGrid || Col < 0 || Col >= FGrid->ColumnCount()) return nullptr;
    return FGrid->Column(Col);
}

TField* TQtGridModel::FieldAt(int Col) const {
    TColumn* C = ColumnAt(Col);
    return C ? C->Field() : nullptr;
}

int TQtGridModel::rowCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : FRowCount;
}

int TQtGridModel::columnCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : static_cast<int>(FColumnFields.size());
}

QVariant TQtGridModel::data(const QModelIndex& Index, int Role) const {
    if (!FGrid || !Index.isValid() || Index.row() >= FRowCount || Index.column() >= columnCount()) return {};
    switch (Role) {
    case Qt::DisplayRole: {
        if (Index.row() >= FGrid->RowCount() || !FieldAt(Index.column())) return QString();
        return ToQString(FGrid->CellText(Index.row(), Index.column()));
    }
    case Qt::EditRole:
        if (Index.row() >= FGrid->RowCount()) return QString();
        return ToQString(FGrid->CellEditText(Index.row(), Index.column()));
    case Qt::TextAlignmentRole: {
        TField* F = FieldAt(Index.column());
        if (F && IsNumeric(F)) return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    default:
        return {};
    }
}

QVariant TQtGridModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
    if (!FGrid) return {};
    if (Orientation == Qt::Vertical) {
        if (Role != Qt::DisplayRole || Section < 0 || Section >= FRowCount) return {};
        if (Section != FGrid->CurrentRow()) return QString();
        TDataSet* D = FGrid->GetActiveDataSet();
        TDataSetState S = D ? D->State() : TDataSetState::dsInactive;
        if (S == TDataSetState::dsInsert) return QStringLiteral("*");
        if (S == TDataSetState::dsEdit) return QStringLiteral("I");
        return QStringLiteral("▶");
    }
    TColumn* C = ColumnAt(Section);
    if (!C) return {};
    switch (Role) {
    case Qt::DisplayRole:
        return ToQString(C->TitleCaption());
    case Qt::FontRole:
        if (IsDefaultFont(C->TitleFont())) return {};
        return ToFont(C->TitleFont(), QGuiApplication::font());
    case Qt::ForegroundRole:
        if (C->TitleFont().Color == clWindowText) return {};
        return ToColor(C->TitleFont().Color, QGuiApplication::palette());
    default:
        return {};
    }
}

Qt::ItemFlags TQtGridModel::flags(const QModelIndex& Index) const {
    if (!FGrid || !Index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags F = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (FGrid->CanEditColumn(Index.column())) F |= Qt::ItemIsEditable;
    return F;
}

bool TQtGridModel::setData(const QModelIndex& Index, const QVariant& Value, int Role) {
    if (!FGrid || Role != Qt::EditRole || !Index.isValid() || Index.row() >= FRowCount ||
        Index.column() >= columnCount())
        return false;
    const int Row = Index.row(), Col = Index.column();
    const bool Taken = FGrid->UserEditCell(Row, Col, FromQString(Value.toString()));
    // The window may have closed meanwhile.
    if (!FGrid) return false;
    if (!Taken && Row < FRowCount) emit dataChanged(index(Row, 0), index(Row, columnCount() - 1));
    emit CurrentCellChanged();
    return Taken;
}

bool TQtGridModel::UserSelectCell(int Row, int Col) {
    if (!FGrid) return false;
    const bool Current = FGrid->UserSelectCell(Row, Col);
    if (!FGrid) return false;
    emit CurrentCellChanged();
    return Current;
}

void TQtGridModel::UserClickEllipsis(int Row, int Col) {
    if (!FGrid) return;
    FGrid->UserClickEllipsis(Row, Col);
    if (FGrid) emit CurrentCellChanged();
}

void TQtGridModel::UserOpenEditor(int Row, int Col) {
    if (FGrid) FGrid->UserOpenEditor(Row, Col);
}

void TQtGridModel::UserEditorText(const QString& Text) {
    if (FGrid) FGrid->UserEditorText(FromQString(Text));
}

void TQtGridModel::UserCancelEditor() {
    if (FGrid) FGrid->UserCancelEditor();
}

bool TQtGridModel::CommitEditor() {
    if (!FGrid) return true;
    QPointer<TQtGridModel> Self(this);
    FCommitting = true;
    const bool Taken = FGrid->UserCommitEditor();
    // The window may have closed meanwhile.
    if (!Self) return true;
    FCommitting = false;
    return !FGrid || Taken;
}

void TQtGridModel::GridChanged(TGridChange Change, int First, int Last) {
    if (!FGrid) return;
    switch (Change) {
    case TGridChange::Reset:
        Reset();
        break;
    case TGridChange::RowsAboutToBeInserted:
        if (FPending != TPending::None || First < 0 || First > FRowCount || Last < First) {
            FPending = TPending::Broken;
            return;
        }
        beginInsertRows(QModelIndex(), First, Last);
        FPending = TPending::Insert;
        FPendingFirst = First;
        FPendingLast = Last;
        return;
    case TGridChange::RowsInserted:
        if (FPending != TPending::Insert || First != FPendingFirst || Last != FPendingLast) {
            FPending = TPending::None;
            Reset();
            break;
        }
        FRowCount += Last - First + 1;
        FPending = TPending::None;
        if (FIndicatorRow >= First) FIndicatorRow += Last - First + 1;
        endInsertRows();
        if (FRowCount != FGrid->RowCount()) Reset();
        break;
    case TGridChange::RowsAboutToBeRemoved:
        if (FPending != TPending::None || First < 0 || Last >= FRowCount || Last < First) {
            FPending = TPending::Broken;
            return;
        }
        beginRemoveRows(QModelIndex(), First, Last);
        FPending = TPending::Remove;
        FPendingFirst = First;
        FPendingLast = Last;
        return;
    case TGridChange::RowsRemoved:
        if (FPending != TPending::Remove || First != FPendingFirst || Last != FPendingLast) {
            FPending = TPending::None;
            Reset();
            break;
        }
        FRowCount -= Last - First + 1;
        FPending = TPending::None;
        if (FIndicatorRow > Last)
            FIndicatorRow -= Last - First + 1;
        else if (FIndicatorRow >= First)
            FIndicatorRow = -1;
        endRemoveRows();
        if (FRowCount != FGrid->RowCount()) Reset();
        break;
    case TGridChange::RowChanged:
        if (First >= 0 && First < FRowCount && columnCount() > 0)
            emit dataChanged(index(First, 0), index(First, columnCount() - 1));
        break;
    case TGridChange::CurrentChanged:
    case TGridChange::EditingChanged:
        break;
    case TGridChange::EditorClosed:
        if (!FCommitting) emit EditorCloseRequested();
        return;
    case TGridChange::EditorRefused:
        emit EditorTextRefused();
        return;
    }
    if (FPending == TPending::None) RowIndicatorChanged(FGrid->CurrentRow());
    emit CurrentCellChanged();
}

void TQtGridModel::RowIndicatorChanged(int Row) {
    int Old = FIndicatorRow;
    FIndicatorRow = Row < FRowCount ? Row : -1;
    if (Old >= 0 && Old < FRowCount) emit headerDataChanged(Qt::Vertical, Old, Old);
    if (FIndicatorRow >= 0 && FIndicatorRow != Old)
        emit headerDataChanged(Qt::Vertical, FIndicatorRow, FIndicatorRow);
}

void TQtGridModel::Reset() {
    beginResetModel();
    FPending = TPending::None;
    FRowCount = FGrid->RowCount();
    ReadColumns();
    FIndicatorRow = FGrid->CurrentRow();
    endResetModel();
    emit ColumnsRefreshed();
}

void TQtGridModel::ReadColumns() {
    FColumnFields.clear();
    for (int I = 0; I < FGrid->ColumnCount(); ++I)
        FColumnFields.push_back(FGrid->Column(I)->FieldName());
}

void TQtGridModel::ColumnsChanged() {
    if (!FGrid) return;
    if (FPending != TPending::None) return; // the pending row change ends in a check of its own
    if (FGrid->ColumnCount() != columnCount()) {
        Reset();
        return;
    }
    ReadColumns();
    if (columnCount() > 0) {
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
        if (FRowCount > 0) emit dataChanged(index(0, 0), index(FRowCount - 1, columnCount() - 1));
    }
    emit ColumnsRefreshed();
    emit CurrentCellChanged();
}

void TQtGridModel::TitleFontChanged() {
    if (FGrid && columnCount() > 0) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

std::vector<TColumn::TPickItem> TQtGridModel::PickItems(int Col) const {
    TColumn* C = ColumnAt(Col);
    return C ? C->PickItems() : std::vector<TColumn::TPickItem>{};
}

bool TQtGridModel::HasEllipsis(int Col) const {
    TColumn* C = ColumnAt(Col);
    return C && C->ButtonStyle() == TColumnButtonStyle::cbsEllipsis;
}

bool TQtGridModel::IsDateColumn(int Col) const {
    TField* F = FieldAt(Col);
    return F && F->DataType() == TFieldType::ftDate && !F->Lookup();
}

int TQtGridModel::MaxLength(int Col) const {
    TField* F = FieldAt(Col);
    if (!F || F->DataType() != TFieldType::ftString || F->Lookup()) return 0;
    return F->Size();
}

bool TQtGridModel::ColumnVisible(int Col) const {
    TColumn* C = ColumnAt(Col);
    return C && C->Visible();
}

int TQtGridModel::ColumnSetWidth(int Col) const {
    TColumn* C = ColumnAt(Col);
    return C ? C->Width() : 0;
}

int TQtGridModel::DefaultColumnWidth(int Col, int AverageCharWidth) const {
    TField* F = FieldAt(Col);
    int Chars = F ? F->DisplayWidth() : 10;
    return std::clamp(Chars * AverageCharWidth + 6, 40, 400);
}

} // namespace orv::qt
