// A headless screen for framework tests: installed before each test, and at its end every
// window is freed, the backend removed, and nothing the script left unused or any
// unexpected box goes unnoticed.
#pragma once

#include "host/forms/Forms.h"
#include "host/widgetset/HeadlessWidgetSet.h"

#include <gtest/gtest.h>

class HeadlessTest : public ::testing::Test {
protected:
    void SetUp() override { WS.Install(); }
    void TearDown() override {
        orv::Application->FreeForms();
        EXPECT_EQ(WS.LiveHandles(), 0) << "handles outlived their windows";
        WS.Uninstall();
        for (const std::string& F : WS.Failures())
            ADD_FAILURE() << F;
        EXPECT_TRUE(WS.ScriptDone()) << "scripted answers were left unused";
    }

    orv::THeadlessWidgetSet WS;
};
