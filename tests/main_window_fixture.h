#pragma once

#include "ui/main_window.h"
#include "ui/main_window_layout.h"
#include "widget_test_support.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace quorvel::test {

// A shown main window, driven through its widgets as a user would.
class MainWindowTest : public ::testing::Test {
protected:
    QApplication& app = application();
    MainWindow window;

    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    template <class T> T* child(const QString& name) {
        auto* widget = window.findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }
    QLineEdit* text(int n) { return child<QLineEdit>(QStringLiteral("Text%1").arg(n)); }
    QCheckBox* check(int n) { return child<QCheckBox>(QStringLiteral("Check%1").arg(n)); }
    QLabel* label(int n) { return child<QLabel>(QStringLiteral("Label%1").arg(n)); }
    QTabWidget* tabs() { return child<QTabWidget>(QStringLiteral("SSTab1")); }
    QPushButton* writeOut() { return child<QPushButton>(QStringLiteral("Command1")); }

    // Clicks the page's tab.
    void showPage(mainlayout::Page page) {
        QTabBar* bar = tabs()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
        ASSERT_EQ(tabs()->currentIndex(), page);
    }

    // Clicks into the box, selects everything and types `value` over it.
    void typeInto(QLineEdit* box, const QString& value) {
        QTest::mouseClick(box, Qt::LeftButton);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        if (value.isEmpty())
            QTest::keyClick(box, Qt::Key_Delete);
        else
            QTest::keyClicks(box, value);
    }

    // Clicks on the box's square, which is at its left whatever its caption.
    void clickBox(QCheckBox* box) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
    }

    // The six markers, "[ OK ]" for each stage and then the banner, as they stand.
    std::vector<bool> markersShown() {
        std::vector<bool> shown;
        for (int n : mainlayout::markerLabels)
            shown.push_back(!label(n)->isHidden());
        return shown;
    }

    BotSettings gathered() {
        window.gatherSettings();
        return window.settings();
    }
};

inline const std::vector<bool> allShown(6, true);
inline const std::vector<bool> noneShown(6, false);

} // namespace quorvel::test
