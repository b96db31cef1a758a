// What a screen reader learns from the main window, through Qt's own accessible interfaces.
#include "widget_test_support.h"

#include <QAccessible>

#include <set>

namespace quorvel {
namespace {

QString nameOf(QObject* object) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(object);
    EXPECT_NE(a, nullptr);
    return a ? a->text(QAccessible::Name) : QString();
}

QAccessible::Role roleOf(QObject* object) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(object);
    EXPECT_NE(a, nullptr);
    return a ? a->role() : QAccessible::NoRole;
}

using AccessibilityTest = test::MainWindowTest;

TEST_F(AccessibilityTest, ScreenReadersHearWhatEachInputIsFor) {
    const std::pair<const char*, const char*> expected[] = {
        {"Text1", "username"},
        {"Check1", "use my-hostname"},
        {"Text4", "my-hostname"},
        {"Check2", "use my-ip"},
        {"Text10", "bot's nick"},
        {"Text16", "bot's alternative nick"},
        {"Text17", "channel to use, typed without the hash sign"},
        {"Check7", "autoop"},
        {"Check27", "use server-2"},
        {"Text11", "server-2"},
        {"Check28", "use server-3"},
        {"Text14", "scripts"},
        {"Text15", "output file name"},
        {"Command1", "WRITE OUT"},
    };
    for (auto [name, spoken] : expected)
        EXPECT_EQ(nameOf(child(name)), spoken) << name;
    // The names are for the ear only: what the window shows stays.
    EXPECT_EQ(child<QLabel>("Label12")->text(), "bot's nicks:");
    EXPECT_EQ(child<QLabel>("Label25")->text(), "#");
    EXPECT_TRUE(check(1)->text().isEmpty());
}

// Tabbing through a page, each stop must say what it is, and no two alike.
TEST_F(AccessibilityTest, EveryInputOfAPageHasANameOfItsOwn) {
    for (int page = 0; page < mainlayout::pageCount; ++page) {
        std::set<QString> names;
        for (QWidget* w : tabs()->widget(page)->findChildren<QWidget*>()) {
            if (!w->focusPolicy() || qobject_cast<QLabel*>(w))
                continue;
            const QString name = nameOf(w);
            EXPECT_FALSE(name.isEmpty()) << w->objectName().toStdString();
            EXPECT_TRUE(names.insert(name).second)
                << name.toStdString() << " twice on page " << page;
        }
        EXPECT_FALSE(names.empty());
    }
}

TEST_F(AccessibilityTest, PagesAreNamedAfterTheirTabs) {
    for (int page = 0; page < mainlayout::pageCount; ++page)
        EXPECT_EQ(nameOf(tabs()->widget(page)), mainlayout::pageCaptions[page]);
}

// The result banner is news; the markers beside the rows are not.
TEST_F(AccessibilityTest, TheBannerIsANotificationAndLooksAsBefore) {
    auto* banner = child<QLabel>("Label24");
    EXPECT_EQ(roleOf(banner), QAccessible::Notification);
    EXPECT_EQ(nameOf(banner), "[ WRITTEN SUCCESFULLY ]");
    EXPECT_EQ(banner->text(), "[ WRITTEN SUCCESFULLY ]");
    EXPECT_TRUE(banner->autoFillBackground());
    EXPECT_EQ(banner->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(banner->alignment(), Qt::AlignCenter);
    for (int n : {19, 20, 21, 22, 23})
        EXPECT_EQ(roleOf(child(QStringLiteral("Label%1").arg(n))), QAccessible::StaticText) << n;
}

} // namespace
} // namespace quorvel
