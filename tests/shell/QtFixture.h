// Tests of the Qt backend: a Qt backend installed for each test, message boxes answered
// from a script and recorded, model-tester complaints collected, every window freed after.
#pragma once

#include "host/forms/Forms.h"
#include "host/widgetset/qt/QtWidgetSet.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace qt_test {

// Routes Qt's messages: complaints of QAbstractItemModelTester are kept for the tests,
// everything else goes to the standard error stream as usual.
void InstallMessageCollector();
std::vector<std::string> TakeModelTesterComplaints();

struct TBox {
    std::string Text;
    std::string Caption;
    int Flags = 0;
};

class QtTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Lets queued work of the views (a cell move, an ellipsis click) run.
    static void Settle();

    QTemporaryDir Dir;
    std::unique_ptr<orv::qt::TQtWidgetSet> WS;
    // Answers for question boxes, in order; a box with only OK needs none.
    std::deque<int> Answers;
    std::vector<TBox> Boxes;
};

} // namespace qt_test
