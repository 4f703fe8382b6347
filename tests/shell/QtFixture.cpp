#include "QtFixture.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cstdio>
#include <mutex>

namespace qt_test {

namespace {

std::mutex Lock;
std::vector<std::string> Complaints;

void Collect(QtMsgType Type, const QMessageLogContext& Context, const QString& Message) {
    if (Context.category && std::string(Context.category) == "qt.modeltest") {
        std::lock_guard<std::mutex> Guard(Lock);
        Complaints.push_back(Message.toStdString());
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(Type, Context, Message)));
}

} // namespace

void InstallMessageCollector() {
    qInstallMessageHandler(Collect);
}

std::vector<std::string> TakeModelTesterComplaints() {
    std::lock_guard<std::mutex> Guard(Lock);
    return std::exchange(Complaints, {});
}

void QtTest::SetUp() {
    ASSERT_TRUE(Dir.isValid());
    WS = std::make_unique<orv::qt::TQtWidgetSet>();
    WS->SetUserName("tester");
    WS->SetLayoutStore(orv::qt::TLayoutStore(Dir.filePath("layouts.ini")));
    WS->SetMessageHook([this](const std::string& Text, const std::string& Caption, int Flags) {
        Boxes.push_back({Text, Caption, Flags});
        if (orv::MessageBoxButtons(Flags).size() == 1) return orv::IDOK;
        if (Answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << Text;
            return orv::MessageBoxDefaultButton(Flags);
        }
        int A = Answers.front();
        Answers.pop_front();
        return A;
    });
    WS->Install();
    TakeModelTesterComplaints();
}

void QtTest::TearDown() {
    orv::Application->FreeForms();
    WS.reset();
    for (const std::string& C : TakeModelTesterComplaints())
        ADD_FAILURE() << "model tester: " << C;
    EXPECT_TRUE(Answers.empty()) << "scripted answers were left unused";
}

void QtTest::Settle() {
    for (int I = 0; I < 3; ++I)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace qt_test
