// What the Qt benchmarks share: counting a widget's paints, and freeing the windows with
// everything their Qt objects left to delete.
#pragma once

#include "host/forms/Forms.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace orv::bench {

// Counts the paints of the widgets it watches.
class TPaintCounter : public QObject {
public:
    int Paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* E) override {
        if (E->type() == QEvent::Paint) ++Paints;
        return false;
    }
};

inline void FreeWindows() {
    Application->FreeForms();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace orv::bench
