#pragma once
// Tests of the Qt backend: one QApplication for the whole test program (the offscreen platform
// under ctest), and the backend installed around each test.
#include <QApplication>

#include <gtest/gtest.h>

#include "platform/ui/Application.h"
#include "platform/ui/qt/QtBackend.h"

namespace zandrel::ui {

class QtTestFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "ui_tests";
        static char* argv[] = {name, nullptr};
        if (!qApp) new QApplication(argc, argv);
    }
    void SetUp() override { InstallBackend(CreateQtBackend()); }
    void TearDown() override { RemoveBackend(); }
};

} // namespace zandrel::ui
