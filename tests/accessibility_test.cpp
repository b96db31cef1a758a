// What a screen reader learns from the windows, through Qt's own accessible interfaces.
#include "ui/about_window.h"
#include "widget_test_support.h"

#include <QAccessible>
#include <QDir>
#include <QTemporaryDir>

#include <set>

namespace quorvel {
namespace {

using mainlayout::Page;

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

// Entering a page, a screen reader says which one it is.
TEST_F(AccessibilityTest, PagesAreNamedAfterTheirTabs) {
    for (int page = 0; page < mainlayout::pageCount; ++page) {
        EXPECT_EQ(nameOf(tabs()->widget(page)), mainlayout::pageCaptions[page]);
        EXPECT_EQ(roleOf(tabs()->widget(page)), QAccessible::PropertyPage);
    }
    // Between the tabs and a page nothing that is named: Qt's page stack is a "layered pane".
    EXPECT_EQ(roleOf(tabs()->widget(0)->parentWidget()), QAccessible::Client);
}

// A screen reader reads an alert's texts that take no focus (Orca 51 leaves out the others).
TEST_F(AccessibilityTest, AFailedWritesMessageIsReadWithItsAlert) {
    QTemporaryDir dir;
    const QString unreachable = dir.filePath("missing/bot.conf");
    showPage(Page::Finish);
    typeInto(text(15), unreachable);
    int readable = 0;
    test::answeringModal(
        [&](QWidget& modal) {
            QAccessibleInterface* alert = QAccessible::queryAccessibleInterface(&modal);
            for (int i = 0; alert && i < alert->childCount(); ++i) {
                const QAccessibleInterface* part = alert->child(i);
                if (part->role() == QAccessible::StaticText && !part->state().focusable &&
                    part->text(QAccessible::Name).contains(QDir::toNativeSeparators(unreachable)))
                    ++readable;
            }
            QTest::keyClick(&modal, Qt::Key_Escape);
        },
        [&] { QTest::mouseClick(writeOut(), Qt::LeftButton); });
    EXPECT_EQ(readable, 1);
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

// As a dialog, a screen reader reads its lines when it opens.
TEST_F(AccessibilityTest, AboutIsADialogWhoseLinesCanBeRead) {
    AboutWindow* about = openAbout();
    ASSERT_NE(about, nullptr);
    QAccessibleInterface* dialog = QAccessible::queryAccessibleInterface(about);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->role(), QAccessible::Dialog);
    EXPECT_EQ(dialog->text(QAccessible::Name), "About Quorvel!");
    // Each line is read as it shows, or says what it is. A dialog opening reads only its lines
    // of three words or more (Orca); the name alone is in the title.
    int lines = 0;
    for (int i = 0; i < dialog->childCount(); ++i) {
        QAccessibleInterface* line = dialog->child(i);
        if (line->role() != QAccessible::StaticText)
            continue;
        ++lines;
        const QString shown = static_cast<QLabel*>(line->object())->text();
        const QString spoken = line->text(QAccessible::Name);
        EXPECT_TRUE(spoken.endsWith(shown)) << spoken.toStdString();
        if (!about->windowTitle().contains(spoken)) {
            EXPECT_GE(spoken.split(' ', Qt::SkipEmptyParts).size(), 3) << spoken.toStdString();
        }
    }
    EXPECT_EQ(lines, 6);
}

} // namespace
} // namespace quorvel
