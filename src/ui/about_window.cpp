#include "ui/about_window.h"

#include "ui/accessibility.h"
#include "ui/fixed_size_window.h"
#include "ui/modal_keeper.h"
#include "ui/push_button.h"
#include "ui/twip_scale.h"
#include "ui/window_placement.h"

#include "config/version.h"

#include <QFrame>
#include <QLabel>

#include <utility>
#include <vector>

namespace quorvel {

namespace {

constexpr int clientWidth = 4590;
constexpr int clientHeight = 2295;

enum class Kind { Label, Rule, Button };
enum class Font { Dialog, Title, Web };

struct Control {
    Kind kind;
    const char* name;
    const char* text;
    int left, top, width, height; // twips from the client area's top-left corner
    Font font = Font::Dialog;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    int room = 0; // twips the text may take, if less than the width
};

constexpr Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;

// In tab order. The credit line shares its row with the right-aligned first e-mail address, so
// its text has to end before that label begins.
constexpr Control controls[] = {
    {Kind::Label, "Label1", "Quorvel!", 240, 240, 2295, 495, Font::Title},
    {Kind::Label, "Label2", nullptr, 240, 720, 3375, 255}, // the version line
    {Kind::Label, "Label3", "by the Quorvel team", 240, 1200, 3255, 255, Font::Dialog,
     Qt::AlignLeft | Qt::AlignVCenter, 2880 - 120 - 240},
    {Kind::Rule, "Frame1", nullptr, 240, 960, 4095, 135},
    {Kind::Label, "Label4", "quorvel@example.org", 2880, 1200, 1455, 255, Font::Dialog, right},
    {Kind::Label, "Label5", "team@example.org", 2880, 1440, 1455, 255, Font::Dialog, right},
    {Kind::Label, "Label6", "quorvel.example.org", 2520, 360, 1815, 255, Font::Web, right},
    {Kind::Button, "Command1", "OK", 1800, 1800, 975, 375, Font::Dialog, Qt::AlignCenter},
};

// "Version 1.1  (24.10.2000)": the release date as day, month and year.
QString versionLine() {
    const auto latin1 = [](std::string_view text) {
        return QLatin1String(text.data(), qsizetype(text.size()));
    };
    const QString date = latin1(releaseDate);
    return QStringLiteral("Version ") + latin1(version) + QStringLiteral("  (") + date.mid(8, 2) +
           u'.' + date.mid(5, 2) + u'.' + date.left(4) + u')';
}

// A screen reader hears what each contact line is. A dialog opening reads only its lines of
// three words or more (Orca), which an address alone is not.
struct SpokenPrefix {
    const char* label;
    const char* prefix;
};
constexpr SpokenPrefix spokenPrefixes[] = {
    {"Label4", "contact by e-mail:"},
    {"Label5", "or by e-mail:"},
    {"Label6", "on the web:"},
};

QString spokenName(const Control& c) {
    for (const auto& [label, prefix] : spokenPrefixes) {
        if (qstrcmp(label, c.name) == 0)
            return QStringLiteral("%1 %2").arg(QLatin1String(prefix), QLatin1String(c.text));
    }
    return {};
}

QFont fontFor(Font font, const QFont& dialogFont) {
    if (font == Font::Dialog)
        return dialogFont;
    QFont named(QStringLiteral("MS Sans Serif"));
    named.setStyleHint(QFont::SansSerif);
    named.setPointSizeF(font == Font::Title ? 17.25 : 9.75);
    named.setBold(font == Font::Title);
    return named;
}

} // namespace

AboutWindow::AboutWindow(QWidget& owner)
    : QWidget(nullptr,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      placement_(new CentredPlacement(*this)) {
    // A dialog to a screen reader, which then reads its lines when it opens; before the title is
    // set, as that makes the accessible interface.
    useAccessibleRole(staticMetaObject, QAccessible::Dialog);
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("About Quorvel!"));
    // Never what keeps the program running, and never what ends it.
    setAttribute(Qt::WA_QuitOnClose, false);
    // Modal to the window system too, though it does not hold up the program: a click on the
    // disabled owner then brings it to the front with the focus where the window manager can.
    setWindowModality(Qt::ApplicationModal);
    keeper_ = new ModalKeeper(*this, owner);

    std::vector<std::pair<QWidget*, const Control*>> placed;
    std::vector<TextRoom> rooms;
    QPushButton* ok = nullptr;
    for (const Control& c : controls) {
        QWidget* widget = nullptr;
        switch (c.kind) {
        case Kind::Label: {
            auto* label = new QLabel(c.text ? QString::fromLatin1(c.text) : versionLine(), this);
            label->setAlignment(c.alignment);
            label->setAccessibleName(spokenName(c));
            widget = label;
            break;
        }
        case Kind::Rule: {
            auto* rule = new QFrame(this);
            rule->setFrameShape(QFrame::HLine);
            rule->setFrameShadow(QFrame::Sunken);
            widget = rule;
            break;
        }
        case Kind::Button:
            ok = new PushButton(QString::fromLatin1(c.text), this);
            ok->setAutoDefault(false);
            widget = ok;
            break;
        }
        widget->setObjectName(QString::fromLatin1(c.name));
        widget->setFont(fontFor(c.font, font()));
        placed.emplace_back(widget, &c);
        if (c.kind != Kind::Rule) {
            widget->ensurePolished();
            rooms.push_back({widget->sizeHint(), c.room ? c.room : c.width, c.height});
        }
    }

    const TwipScale scale = fittingScale(rooms);
    for (const auto& [widget, c] : placed)
        widget->setGeometry(scale.rect(c->left, c->top, c->width, c->height));
    setFixedSize(scale.px(clientWidth), scale.px(clientHeight));
    keepFixedSizeWhenMaximized(*this);

    connect(ok, &QPushButton::clicked, this, &AboutWindow::Command1_Click);
}

void AboutWindow::showOver(const QWidget& window, QWidget* control) {
    // Placed before its native window exists, the first time, so that the window manager puts
    // the frame where asked and moves the window when it adds the frame.
    placement_->centreOn([&window] { return currentFrame(window).center(); });
    if (!windowHandle())
        create();
    keeper_->show(window, control);
}

void AboutWindow::Command1_Click() {
    close();
}

} // namespace quorvel
