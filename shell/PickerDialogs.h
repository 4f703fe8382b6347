// The host's pickers as Qt dialogs: units in their tree, product classes with a search.
#pragma once

#include "shell/HostCshare.h"

#include <QDialog>

#include <map>
#include <string>
#include <vector>

class QDialogButtonBox;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace orv::shell {

// Regions and the company only group the units below them; units of the selectable types
// are chosen by ticking them (several) or selecting one.
class TUnitTreeDialog : public QDialog {
    Q_OBJECT

public:
    TUnitTreeDialog(const std::vector<server::TUnitNode>& Tree, const std::vector<std::string>& Selectable,
                    bool Multi, QWidget* Parent = nullptr);
    // Chosen unit ids in tree order.
    std::vector<int> Chosen() const;
    QTreeWidget* Tree() const { return FTree; }
    QLineEdit* Search() const { return FSearch; }

private:
    void Filter(const QString& Text);
    void UpdateOk();
    QTreeWidget* FTree;
    QLineEdit* FSearch;
    QDialogButtonBox* FButtons;
    bool FMulti;
};

// Product classes listed by number; the search box narrows the list as the user types.
// Ticked classes stay ticked while the search changes.
class TProdClsDialog : public QDialog {
    Q_OBJECT

public:
    TProdClsDialog(IPickerUi::TProdClsSearch Search, const std::string& Filter, bool Multi,
                   QWidget* Parent = nullptr);
    // Chosen classes in the list's order (by number).
    std::vector<server::TProdClsItem> Chosen() const;
    QTreeWidget* List() const { return FList; }
    QLineEdit* Search() const { return FSearch; }

private:
    void Fill(const QString& Text);
    void UpdateOk();
    IPickerUi::TProdClsSearch FSearchFn;
    QTreeWidget* FList;
    QLineEdit* FSearch;
    QDialogButtonBox* FButtons;
    bool FMulti;
    bool FFilling = false;
    std::map<std::string, server::TProdClsItem> FTicked; // by number, the list's order
};

class TQtPickerUi : public IPickerUi {
public:
    std::optional<std::vector<int>> PickUnits(const std::vector<server::TUnitNode>& Tree,
                                              const std::vector<std::string>& Selectable,
                                              bool Multi) override;
    std::optional<std::vector<server::TProdClsItem>>
    PickProdCls(const TProdClsSearch& Search, const std::string& Filter, bool Multi) override;
};

} // namespace orv::shell
