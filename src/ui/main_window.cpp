#include "ui/main_window.h"

#include "ui/about_window.h"
#include "ui/accessibility.h"
#include "ui/caption_metrics.h"
#include "ui/crlf_breaks.h"
#include "ui/first_line_validator.h"
#include "ui/fixed_size_window.h"
#include "ui/main_window_layout.h"
#include "ui/push_button.h"
#include "ui/window_placement.h"

#include "config/version.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTextDocument>

#include <cstddef>
#include <limits>
#include <vector>

namespace quorvel {

namespace {

using mainlayout::Control;
using mainlayout::Kind;
using mainlayout::Look;

using TextMember = QString BotSettings::*;
using FlagMember = bool BotSettings::*;

// Which control holds which field of BotSettings.
struct TextField {
    int box; // TextN
    TextMember field;
};
constexpr TextField textFields[] = {
    {1, &BotSettings::username},        {2, &BotSettings::admin},      {3, &BotSettings::network},
    {4, &BotSettings::myHostname},      {5, &BotSettings::myIp},       {6, &BotSettings::botName},
    {7, &BotSettings::whoisInfo},       {8, &BotSettings::telnetPort}, {9, &BotSettings::eggPath},
    {10, &BotSettings::nick},           {16, &BotSettings::altNick},   {17, &BotSettings::channel},
    {12, &BotSettings::server1},        {11, &BotSettings::server2},   {13, &BotSettings::server3},
    {15, &BotSettings::outputFileName},
};

// The four check boxes that each switch one text box on and off.
struct FlagField {
    int box; // CheckN
    FlagMember flag;
    int governs; // TextN
};
constexpr FlagField flagFields[] = {
    {1, &BotSettings::useMyHostname, 4},
    {2, &BotSettings::useMyIp, 5},
    {27, &BotSettings::useServer2, 11},
    {28, &BotSettings::useServer3, 13},
};

// Channel flag k of the table belongs to check box firstFlagBox + k.
constexpr int firstFlagBox = 3;

constexpr bool fieldsHaveControls() {
    for (const auto& f : textFields) {
        if (!mainlayout::hasControl(Kind::LineEdit, f.box))
            return false;
    }
    for (const auto& f : flagFields) {
        if (!mainlayout::hasControl(Kind::CheckBox, f.box) ||
            !mainlayout::hasControl(Kind::LineEdit, f.governs))
            return false;
    }
    for (int k = 0; k < int(channelFlagCount); ++k) {
        if (!mainlayout::hasControl(Kind::CheckBox, firstFlagBox + k))
            return false;
    }
    return mainlayout::hasControl(Kind::LineEdit, 6) && mainlayout::hasControl(Kind::LineEdit, 15);
}
static_assert(fieldsHaveControls());

const QString crlf = QStringLiteral("\r\n");

// Fires on every change of a box's state, whoever made it. Qt 6.7 replaced stateChanged(int) by
// checkStateChanged(Qt::CheckState).
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
constexpr auto checkStateChanged = &QCheckBox::checkStateChanged;
#else
constexpr auto checkStateChanged = &QCheckBox::stateChanged;
#endif

// A tab page whose controls are placed in client-area coordinates, as the layout table gives
// them. The page itself starts below the tab strip, wherever the style puts that.
class ClientPage : public QWidget {
    Q_OBJECT

public:
    ClientPage(const QWidget& clientArea, const TwipScale& scale)
        : clientArea_(clientArea), scale_(scale) {}

    void place(QWidget* widget, const Control& control) { placed_.push_back({widget, &control}); }

    void reposition() {
        const QPoint origin = mapTo(&clientArea_, QPoint(0, 0));
        for (const auto& [widget, c] : placed_)
            widget->setGeometry(
                scale_.rect(c->left, c->top, c->width, c->height).translated(-origin));
    }

protected:
    // The page is the system's button face, as the layout's tab control is, not the lighter
    // pane some styles draw. Painted rather than set as the page's role, which its children
    // would inherit.
    void paintEvent(QPaintEvent* event) override {
        QPainter(this).fillRect(event->rect(), palette().button());
    }
    // The tab widget moves its pages when it lays itself out; a hidden page gets its size when
    // it is first shown.
    void showEvent(QShowEvent* event) override {
        reposition();
        QWidget::showEvent(event);
    }
    void resizeEvent(QResizeEvent* event) override {
        reposition();
        QWidget::resizeEvent(event);
    }

private:
    struct Placed {
        QWidget* widget;
        const Control* control;
    };
    const QWidget& clientArea_;
    const TwipScale& scale_;
    std::vector<Placed> placed_;
};

// A tab strip as high as the layout gives it at the window's scale, whatever height the style's
// tabs would have.
class TabStrip : public QTabBar {
public:
    using QTabBar::QTabBar;

    void setStripHeight(int pixels) {
        height_ = pixels;
        // Captions are never shortened; setting that also has Qt measure the tabs again.
        setElideMode(Qt::ElideNone);
    }

protected:
    QSize tabSizeHint(int index) const override {
        QSize size = QTabBar::tabSizeHint(index);
        if (height_ > 0)
            size.setHeight(height_);
        return size;
    }

private:
    int height_ = 0;
};

class TabControl : public QTabWidget {
public:
    explicit TabControl(QWidget* parent) : QTabWidget(parent), strip_(new TabStrip(this)) {
        setTabBar(strip_);
    }
    TabStrip& strip() const { return *strip_; }

private:
    TabStrip* strip_;
};

// Grayed is the program's to set: a click or Space only ever toggles checked and unchecked,
// also after the program made the box grayed (which makes a QCheckBox tristate for good).
class TwoStateCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {
        setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
};

// The fonts the layout names are asked for by name; where one is not installed the platform's
// sans serif stands in.
QFont namedFont(const char* family, double points, bool bold, bool italic = false) {
    QFont font(QString::fromLatin1(family));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

Qt::Alignment labelAlignment(Look look) {
    switch (look) {
    case Look::TopAligned:
        return Qt::AlignLeft | Qt::AlignTop;
    case Look::Marker:
        return Qt::AlignRight | Qt::AlignVCenter;
    case Look::Banner:
        return Qt::AlignCenter;
    case Look::Plain:
    case Look::SectionRow:
    case Look::WriteButton:
        break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

void applyLook(QWidget& widget, Look look) {
    QPalette palette = widget.palette();
    switch (look) {
    case Look::Plain:
    case Look::TopAligned:
        return;
    case Look::SectionRow:
        widget.setFont(namedFont("Arial", 9.75, true, true));
        return;
    case Look::WriteButton:
        widget.setFont(namedFont("Tahoma", 8.25, true));
        return;
    case Look::Marker:
        widget.setFont(namedFont("MS Sans Serif", 9.75, true));
        palette.setColor(QPalette::WindowText, QColor(0, 128, 0));
        widget.setPalette(palette);
        return;
    case Look::Banner:
        widget.setFont(namedFont("MS Sans Serif", 9.75, true));
        palette.setColor(QPalette::WindowText, QColor(255, 255, 255));
        palette.setColor(QPalette::Window, QColor(255, 0, 0));
        widget.setPalette(palette);
        widget.setAutoFillBackground(true);
        return;
    }
}

void followCheckBox(const QCheckBox& box, QWidget& field) {
    if (box.checkState() == Qt::Checked)
        field.setEnabled(true);
    if (box.checkState() == Qt::Unchecked)
        field.setEnabled(false);
    // Grayed leaves the field as it was.
}

} // namespace

MainWindow::MainWindow() {
    // The arrays indexed by N hold exactly the controls the layout table numbers.
    static_assert(std::tuple_size_v<decltype(texts_)> ==
                  std::size_t(mainlayout::highestNumber(Kind::LineEdit)) + 1);
    static_assert(std::tuple_size_v<decltype(checks_)> ==
                  std::size_t(mainlayout::highestNumber(Kind::CheckBox)) + 1);
    static_assert(std::tuple_size_v<decltype(labels_)> ==
                  std::size_t(mainlayout::highestNumber(Kind::Label)) + 1);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quorvel! ") +
                   QLatin1String(version.data(), qsizetype(version.size())));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quorvel-32.png")));
    // Minimize and close, no maximize; the fixed size below keeps the border from resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    keepFixedSizeWhenMaximized(*this);

    buildMenus();
    buildPages();
    showSettings(BotSettings{});
    setFocusOrder();
    connectHandlers();

    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    // Centred on the screen, the window manager's frame included.
    (new CentredPlacement(*this))->centreOn([this] {
        return screen()->availableGeometry().center();
    });
    tabs_->setFocus();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenus() {
    QMenu* menu = nullptr;
    for (const auto& entry : mainlayout::menuEntries) {
        if (!menu || menu->objectName() != QLatin1String(entry.menu)) {
            menu = menuBar()->addMenu(QString::fromLatin1(entry.menuCaption));
            menu->setObjectName(QString::fromLatin1(entry.menu));
        }
        QAction* action = qstrcmp(entry.caption, "-") == 0
                              ? menu->addSeparator()
                              : menu->addAction(QString::fromLatin1(entry.caption));
        action->setObjectName(QString::fromLatin1(entry.name));
        action->setEnabled(entry.enabled);
        menuActions_.push_back(action);
    }
    menuFocus_ = new MenuFocusHold(*this, {menuActions_[mainlayout::menuItem("help2")],
                                           menuActions_[mainlayout::menuItem("about")]});
    for (QAction* entry : menuBar()->actions())
        menuFocus_->watch(*entry->menu());
}

void MainWindow::buildPages() {
    auto* client = new QWidget(this);
    setCentralWidget(client);
    passOverTabPageStacks(); // the pages themselves are named
    auto* tabControl = new TabControl(client);
    tabs_ = tabControl;
    tabs_->setObjectName(QStringLiteral("SSTab1"));
    tabs_->setUsesScrollButtons(false); // six tabs in one row

    // A screen reader entering a page says which one it is: a plain widget it passes over, a
    // named property page (a tab's page) it tells.
    useAccessibleRole(ClientPage::staticMetaObject, QAccessible::PropertyPage);
    std::vector<ClientPage*> pages;
    for (const char* caption : mainlayout::pageCaptions) {
        pages.push_back(new ClientPage(*client, scale_));
        pages.back()->setAccessibleName(QString::fromLatin1(caption));
        tabs_->addTab(pages.back(), QString::fromLatin1(caption));
    }

    std::vector<TextRoom> rooms;
    CaptionMetrics captions;
    for (const Control& c : mainlayout::controls) {
        ClientPage* page = pages[c.page];
        const QString text = c.text ? QString::fromLatin1(c.text) : QString();
        QWidget* widget = nullptr;
        QString prefix;
        switch (c.kind) {
        case Kind::Label: {
            // The result banner is news to a screen reader, the other labels are not.
            auto* label =
                c.look == Look::Banner ? new NotificationLabel(text, page) : new QLabel(text, page);
            label->setAlignment(labelAlignment(c.look));
            labels_[c.number] = label;
            widget = label;
            prefix = QStringLiteral("Label");
            break;
        }
        case Kind::LineEdit: {
            auto* box = new QLineEdit(page);
            box->setMaxLength(std::numeric_limits<int>::max()); // Qt's 32767 would cut values
            box->setValidator(new FirstLineValidator(*box));
            box->setAccessibleName(text);
            texts_[c.number] = box;
            widget = box;
            prefix = QStringLiteral("Text");
            break;
        }
        case Kind::PlainTextEdit:
            scriptsBox_ = new QPlainTextEdit(page);
            scriptsBox_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            scriptsBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            scriptsBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            scriptsBox_->setTabChangesFocus(true); // Tab moves on, as in the other boxes
            scriptsBox_->setAccessibleName(text);
            widget = scriptsBox_;
            prefix = QStringLiteral("Text");
            break;
        case Kind::CheckBox: {
            auto* box = new TwoStateCheckBox(page);
            if (c.number >= firstFlagBox && c.number < firstFlagBox + int(channelFlagCount))
                box->setText(QString::fromLatin1(channelFlagTable[c.number - firstFlagBox].name));
            else
                box->setAccessibleName(text);
            checks_[c.number] = box;
            widget = box;
            prefix = QStringLiteral("Check");
            break;
        }
        case Kind::PushButton:
            writeOutButton_ = new PushButton(text, page);
            // Reacts only to its own press: Enter in a text box starts no write.
            writeOutButton_->setAutoDefault(false);
            writeOutButton_->setDefault(false);
            widget = writeOutButton_;
            prefix = QStringLiteral("Command");
            break;
        }
        widget->setObjectName(prefix + QString::number(c.number));
        applyLook(*widget, c.look);
        if (c.toolTip)
            widget->setToolTip(QString::fromLatin1(c.toolTip));
        page->place(widget, c);

        widget->ensurePolished();
        if (c.kind == Kind::Label)
            rooms.push_back({captions.labelSizeHint(*labels_[c.number]), c.width, c.height});
        else if (c.kind == Kind::LineEdit)
            rooms.push_back({QSize(0, widget->sizeHint().height()), c.width, c.height});
        else if (c.kind != Kind::PlainTextEdit)
            rooms.push_back({widget->sizeHint(), c.width, c.height});
    }
    for (int n : mainlayout::markerLabels)
        labels_[n]->hide();

    rooms.push_back(
        {tabs_->tabBar()->sizeHint(), mainlayout::tabControlWidth, mainlayout::tabStripHeight});
    scale_ = fittingScale(rooms);
    tabControl->strip().setStripHeight(scale_.px(mainlayout::tabStripHeight));
    client->setFixedSize(scale_.px(mainlayout::clientWidth), scale_.px(mainlayout::clientHeight));
    tabs_->setGeometry(
        scale_.rect(0, 0, mainlayout::tabControlWidth, mainlayout::tabControlHeight));
    for (ClientPage* page : pages)
        page->reposition();
}

void MainWindow::showSettings(const BotSettings& values) {
    for (const auto& [box, field] : textFields)
        texts_[box]->setText(values.*field);
    for (const auto& f : flagFields) {
        checks_[f.box]->setChecked(values.*f.flag);
        texts_[f.governs]->setEnabled(values.*f.flag);
    }
    for (std::size_t k = 0; k < channelFlagCount; ++k)
        checks_[firstFlagBox + k]->setChecked(values.channelFlags[k]);
    scriptsBox_->setPlainText(QString(values.scripts).replace(crlf, QStringLiteral("\n")));
}

QWidget* MainWindow::widget(mainlayout::ControlRef control) const {
    switch (control.kind) {
    case Kind::Label:
        return labels_[control.number];
    case Kind::LineEdit:
        return texts_[control.number];
    case Kind::PlainTextEdit:
        return scriptsBox_;
    case Kind::CheckBox:
        return checks_[control.number];
    case Kind::PushButton:
        return writeOutButton_;
    }
    return nullptr;
}

void MainWindow::setFocusOrder() {
    QWidget* previous = tabs_;
    for (const auto control : mainlayout::focusOrder) {
        QWidget* next = widget(control);
        setTabOrder(previous, next);
        previous = next;
    }
}

void MainWindow::connectHandlers() {
    connect(checks_[1], checkStateChanged, this, &MainWindow::Check1_Click);
    connect(checks_[2], checkStateChanged, this, &MainWindow::Check2_Click);
    connect(checks_[27], checkStateChanged, this, &MainWindow::Check27_Click);
    connect(checks_[28], checkStateChanged, this, &MainWindow::Check28_Click);
    connect(texts_[6], &QLineEdit::textChanged, this, &MainWindow::Text6_Change);
    connect(tabs_, &QTabWidget::currentChanged, this, &MainWindow::SSTab1_Click);
    connect(writeOutButton_, &QPushButton::clicked, this, &MainWindow::Command1_Click);

    using mainlayout::menuItem;
    connect(menuActions_[menuItem("write")], &QAction::triggered, this, &MainWindow::write_Click);
    connect(menuActions_[menuItem("exit")], &QAction::triggered, this, &MainWindow::exit_Click);
    connect(menuActions_[menuItem("help2")], &QAction::triggered, this, &MainWindow::help2_Click);
    connect(menuActions_[menuItem("about")], &QAction::triggered, this, &MainWindow::about_Click);
    // "import" (disabled), "load" and "save" have no action.
}

void MainWindow::gatherSettings() {
    for (const auto& [box, field] : textFields)
        settings_.*field = texts_[box]->text();
    for (const auto& f : flagFields)
        settings_.*f.flag = checks_[f.box]->checkState() == Qt::Checked;
    for (std::size_t k = 0; k < channelFlagCount; ++k)
        settings_.channelFlags[k] = checks_[firstFlagBox + k]->checkState() == Qt::Checked;
    // The document's own characters: toPlainText() would make no-break spaces plain ones.
    settings_.scripts = withCrlfBreaks(scriptsBox_->document()->toRawText());
}

void MainWindow::Check1_Click() {
    followCheckBox(*checks_[1], *texts_[4]);
}
void MainWindow::Check2_Click() {
    followCheckBox(*checks_[2], *texts_[5]);
}
void MainWindow::Check27_Click() {
    followCheckBox(*checks_[27], *texts_[11]);
}
void MainWindow::Check28_Click() {
    followCheckBox(*checks_[28], *texts_[13]);
}

void MainWindow::Text6_Change() {
    texts_[15]->setText(texts_[6]->text());
}

void MainWindow::SSTab1_Click() {
    hideMarkers();
}

void MainWindow::hideMarkers() {
    for (int n : mainlayout::markerLabels)
        labels_[n]->hide();
}

void MainWindow::Command1_Click() {
    gatherSettings();
    try {
        ConfigWriter().writeConfig(settings_, *this);
    } catch (const ConfigWriteError& error) {
        // The markers report on this write, which left no new file: none may claim success.
        hideMarkers();
        QString message =
            tr("The configuration file could not be written.") + QStringLiteral("\n\n");
        if (error.fileName().isEmpty())
            message += tr("No file name was given.");
        else
            message += tr("File: %1\nReason: %2")
                           .arg(QDir::toNativeSeparators(error.fileName()), error.reason());
        if (error.earlierFileKept())
            message += QStringLiteral("\n\n") + tr("The file that was there before is unchanged.");
        QMessageBox& box = keptMessageBox(failureBox_, QMessageBox::Critical, windowTitle());
        box.setTextFormat(Qt::PlainText); // a file name is not markup
        // A focusable text is left out when a screen reader reads the box (Orca 51).
        box.setTextInteractionFlags(Qt::NoTextInteraction);
        box.setText(message);
        box.exec();
    }
}

QMessageBox& MainWindow::keptMessageBox(QMessageBox*& box, QMessageBox::Icon icon,
                                        const QString& title) {
    if (!box) {
        box = new QMessageBox(icon, title, QString(), QMessageBox::Ok, this);
        keepFixedSizeWhenMaximized(*box); // a message box has a fixed size too
    }
    return *box;
}

void MainWindow::write_Click() {
    tabs_->setCurrentIndex(mainlayout::Finish);
    Command1_Click();
}

void MainWindow::exit_Click() {
    close();
    QCoreApplication::quit();
}

void MainWindow::help2_Click() {
    QMessageBox& box =
        keptMessageBox(helpBox_, QMessageBox::Information, QStringLiteral("Need help?!"));
    box.setText(QStringLiteral("If You need help You shouldn't use this stuff. If you're "
                               "having problems just contact me (e-mail in About)"));
    // Chosen from the menu, the focus waits on the window itself: given back to the control.
    const QPointer<QWidget> control = menuFocus_->takeControl();
    box.exec();
    if (control)
        control->setFocus(Qt::OtherFocusReason);
}

void MainWindow::about_Click() {
    if (!about_)
        about_ = std::make_unique<AboutWindow>(*this);
    about_->showOver(*this, menuFocus_->takeControl());
    disableBehind(*this, *about_);
}

void MainWindow::stageWritten(WriteStage stage) {
    labels_[mainlayout::markerLabels[static_cast<std::size_t>(stage)]]->show();
}

void MainWindow::fileWritten() {
    // Spoken at every write, also when the banner still shows from the write before.
    static_cast<NotificationLabel*>(labels_[mainlayout::markerLabels.back()])->notify();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Ending the program ends the About window too, shown or not.
    if (about_)
        about_->hide();
    QMainWindow::closeEvent(event);
}

} // namespace quorvel

#include "main_window.moc"
