#include "shell/PickerDialogs.h"

#include "host/services/Constants.h"
#include "host/widgetset/qt/QtConvert.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace orv::shell {

using qt::FromQString;
using qt::ToQString;

namespace {

constexpr int IdRole = Qt::UserRole;
constexpr int SelectableRole = Qt::UserRole + 1;

QString TypeName(const std::string& Type) {
    if (Type == UnitType_Shop) return QStringLiteral("门店");
    if (Type == UnitType_Agent) return QStringLiteral("代理商");
    if (Type == UnitType_Region) return QStringLiteral("区域");
    if (Type == UnitType_Company) return QStringLiteral("公司");
    return ToQString(Type);
}

QDialogButtonBox* MakeButtons(QDialog* Dialog) {
    auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Dialog);
    Buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    Buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    QObject::connect(Buttons, &QDialogButtonBox::accepted, Dialog, &QDialog::accept);
    QObject::connect(Buttons, &QDialogButtonBox::rejected, Dialog, &QDialog::reject);
    return Buttons;
}

void ForEachItem(QTreeWidget* Tree, const std::function<void(QTreeWidgetItem*)>& Fn) {
    std::function<void(QTreeWidgetItem*)> Walk = [&](QTreeWidgetItem* I) {
        Fn(I);
        for (int K = 0; K < I->childCount(); ++K)
            Walk(I->child(K));
    };
    for (int K = 0; K < Tree->topLevelItemCount(); ++K)
        Walk(Tree->topLevelItem(K));
}

} // namespace

// ---- TUnitTreeDialog -----------------------------------------------------------------------

TUnitTreeDialog::TUnitTreeDialog(const std::vector<server::TUnitNode>& Nodes,
                                 const std::vector<std::string>& Selectable, bool Multi, QWidget* Parent)
    : QDialog(Parent), FMulti(Multi) {
    setWindowTitle(Multi ? QStringLiteral("选择机构（可多选）") : QStringLiteral("选择机构"));
    resize(460, 480);
    auto* Layout = new QVBoxLayout(this);
    FSearch = new QLineEdit(this);
    FSearch->setPlaceholderText(QStringLiteral("按编号或名称查找"));
    FSearch->setClearButtonEnabled(true);
    Layout->addWidget(FSearch);
    FTree = new QTreeWidget(this);
    FTree->setColumnCount(3);
    FTree->setHeaderLabels({QStringLiteral("编号"), QStringLiteral("名称"), QStringLiteral("类型")});
    FTree->setSelectionMode(QAbstractItemView::SingleSelection);
    Layout->addWidget(FTree);
    FButtons = MakeButtons(this);
    Layout->addWidget(FButtons);

    std::map<int, QTreeWidgetItem*> Items;
    for (const server::TUnitNode& N : Nodes) {
        const bool Pickable = Selectable.empty() ||
                              std::find(Selectable.begin(), Selectable.end(), N.UnitType) != Selectable.end();
        auto Parent = Items.find(N.ParentID);
        QTreeWidgetItem* Item =
            Parent != Items.end() ? new QTreeWidgetItem(Parent->second) : new QTreeWidgetItem(FTree);
        Item->setText(0, ToQString(N.UnitNum));
        Item->setText(1, ToQString(N.UnitName));
        Item->setText(2, TypeName(N.UnitType));
        Item->setData(0, IdRole, N.UnitID);
        Item->setData(0, SelectableRole, Pickable);
        Qt::ItemFlags Flags = Qt::ItemIsEnabled;
        if (Multi) {
            // Ticking a region ticks every unit below it.
            Flags |= Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate;
            Item->setCheckState(0, Qt::Unchecked);
        } else if (Pickable) {
            Flags |= Qt::ItemIsSelectable;
        }
        Item->setFlags(Flags);
        Items[N.UnitID] = Item;
    }
    FTree->expandAll();
    FTree->header()->resizeSections(QHeaderView::ResizeToContents);

    connect(FSearch, &QLineEdit::textChanged, this, &TUnitTreeDialog::Filter);
    connect(FTree, &QTreeWidget::itemChanged, this, &TUnitTreeDialog::UpdateOk);
    connect(FTree, &QTreeWidget::itemSelectionChanged, this, &TUnitTreeDialog::UpdateOk);
    connect(FTree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* Item) {
        if (!FMulti && Item->data(0, SelectableRole).toBool()) accept();
    });
    UpdateOk();
}

std::vector<int> TUnitTreeDialog::Chosen() const {
    std::vector<int> Ids;
    ForEachItem(FTree, [&](QTreeWidgetItem* I) {
        if (!I->data(0, SelectableRole).toBool()) return;
        const bool Taken = FMulti ? I->checkState(0) == Qt::Checked : I->isSelected();
        if (Taken) Ids.push_back(I->data(0, IdRole).toInt());
    });
    return Ids;
}

void TUnitTreeDialog::Filter(const QString& Text) {
    // A unit shows when it or something below it matches; groups follow their units.
    std::function<bool(QTreeWidgetItem*)> Show = [&](QTreeWidgetItem* I) {
        bool Match = Text.isEmpty() || I->text(0).contains(Text, Qt::CaseInsensitive) ||
                     I->text(1).contains(Text, Qt::CaseInsensitive);
        bool Below = false;
        for (int K = 0; K < I->childCount(); ++K)
            Below = Show(I->child(K)) || Below;
        I->setHidden(!(Match || Below));
        return Match || Below;
    };
    for (int K = 0; K < FTree->topLevelItemCount(); ++K)
        Show(FTree->topLevelItem(K));
}

void TUnitTreeDialog::UpdateOk() {
    FButtons->button(QDialogButtonBox::Ok)->setEnabled(!Chosen().empty());
}

// ---- TProdClsDialog ------------------------------------------------------------------------

TProdClsDialog::TProdClsDialog(IPickerUi::TProdClsSearch Search, const std::string& Filter, bool Multi,
                               QWidget* Parent)
    : QDialog(Parent), FSearchFn(std::move(Search)), FMulti(Multi) {
    setWindowTitle(Multi ? QStringLiteral("选择商品品种（可多选）") : QStringLiteral("选择商品品种"));
    resize(460, 480);
    auto* Layout = new QVBoxLayout(this);
    FSearch = new QLineEdit(this);
    FSearch->setPlaceholderText(QStringLiteral("按编号或名称查找"));
    FSearch->setClearButtonEnabled(true);
    FSearch->setText(ToQString(Filter));
    Layout->addWidget(FSearch);
    FList = new QTreeWidget(this);
    FList->setRootIsDecorated(false);
    FList->setColumnCount(2);
    FList->setHeaderLabels({QStringLiteral("编号"), QStringLiteral("名称")});
    Layout->addWidget(FList);
    FButtons = MakeButtons(this);
    Layout->addWidget(FButtons);

    connect(FSearch, &QLineEdit::textChanged, this, &TProdClsDialog::Fill);
    connect(FList, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* I) {
        if (FFilling || !FMulti) return;
        server::TProdClsItem Item{I->data(0, IdRole).toInt(), FromQString(I->text(0)),
                                  FromQString(I->text(1)), 0};
        if (I->checkState(0) == Qt::Checked)
            FTicked[Item.ProdClsNum] = Item;
        else
            FTicked.erase(Item.ProdClsNum);
        UpdateOk();
    });
    connect(FList, &QTreeWidget::itemSelectionChanged, this, &TProdClsDialog::UpdateOk);
    connect(FList, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (!FMulti) accept();
    });
    Fill(FSearch->text());
}

void TProdClsDialog::Fill(const QString& Text) {
    FFilling = true;
    FList->clear();
    for (const server::TProdClsItem& C : FSearchFn(FromQString(Text))) {
        auto* Item = new QTreeWidgetItem(FList);
        Item->setText(0, ToQString(C.ProdClsNum));
        Item->setText(1, ToQString(C.ProdName));
        Item->setData(0, IdRole, C.ProdClsID);
        if (FMulti) {
            Item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
            Item->setCheckState(0, FTicked.count(C.ProdClsNum) ? Qt::Checked : Qt::Unchecked);
        }
    }
    FList->header()->resizeSections(QHeaderView::ResizeToContents);
    FFilling = false;
    UpdateOk();
}

std::vector<server::TProdClsItem> TProdClsDialog::Chosen() const {
    std::vector<server::TProdClsItem> Result;
    if (FMulti) {
        for (const auto& [Num, Item] : FTicked)
            Result.push_back(Item);
        return Result;
    }
    if (QTreeWidgetItem* I = FList->currentItem(); I && I->isSelected())
        Result.push_back({I->data(0, IdRole).toInt(), FromQString(I->text(0)), FromQString(I->text(1)), 0});
    return Result;
}

void TProdClsDialog::UpdateOk() {
    FButtons->button(QDialogButtonBox::Ok)->setEnabled(!Chosen().empty());
}

// ---- TQtPickerUi ---------------------------------------------------------------------------

std::optional<std::vector<int>> TQtPickerUi::PickUnits(const std::vector<server::TUnitNode>& Tree,
                                                       const std::vector<std::string>& Selectable,
                                                       bool Multi) {
    TUnitTreeDialog Dialog(Tree, Selectable, Multi, QApplication::activeWindow());
    if (Dialog.exec() != QDialog::Accepted) return std::nullopt;
    return Dialog.Chosen();
}

std::optional<std::vector<server::TProdClsItem>>
TQtPickerUi::PickProdCls(const TProdClsSearch& Search, const std::string& Filter, bool Multi) {
    TProdClsDialog Dialog(Search, Filter, Multi, QApplication::activeWindow());
    if (Dialog.exec() != QDialog::Accepted) return std::nullopt;
    return Dialog.Chosen();
}

} // namespace orv::shell
