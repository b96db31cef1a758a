#include "ui/main_window.h"

#include "config/version.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>

namespace {

void explainNoDisplay(const char* why) {
    std::fprintf(stderr,
                 "quorvel: cannot open its window: %s.\n"
                 "Quorvel is a desktop program and needs a graphical display (X11 or Wayland). "
                 "To run it on a machine without one, start it in a virtual display, for "
                 "example:\n"
                 "    xvfb-run quorvel\n",
                 why);
}

// Qt cannot start without a display: it aborts, advising to reinstall the program. Where no
// display is named at all, say so before trying.
bool displayNamed(const QStringList& arguments) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    if (arguments.contains(QStringLiteral("-platform")) ||
        arguments.contains(QStringLiteral("-display")))
        return true;
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    Q_UNUSED(arguments);
    return true;
#endif
}

// A display that is named but cannot be used ends QApplication's start with a fatal message
// (Qt's own warnings before it say what failed); this replaces that message and the abort.
QtMessageHandler defaultHandler = nullptr;

void handleStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        defaultHandler(type, context, text);
        return;
    }
    QByteArray why = "the graphical display could not be used";
    if (const QByteArray platform = qgetenv("QT_QPA_PLATFORM"); !platform.isEmpty())
        why = "the window system \"" + platform + "\" named by QT_QPA_PLATFORM could not be used";
    else if (const QByteArray display = qgetenv("DISPLAY"); !display.isEmpty())
        why = "the X display \"" + display + "\" could not be used";
    explainNoDisplay(why.constData());
    std::fflush(stderr);
    std::_Exit(1);
}

// Qt's accessibility bridge does not know the window:destroy events that Orca 48 and later listen
// for, nor the bus address call of Orca 51, and says so whenever a screen reader starts or stops
// listening: nothing a user can act on.
void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && qstrcmp(context.category, "qt.accessibility.atspi") == 0 &&
        (text.startsWith(QLatin1String("Subscription string not handled")) ||
         text.contains(QLatin1String("does not implement \"GetApplicationBusAddress\""))))
        return;
    defaultHandler(type, context, text);
}

// The options every Qt program takes (QGuiApplication's and QApplication's, X11's included),
// known here so that they pass the check made before Qt starts; Qt itself acts on them.
void acceptQtOptions(QCommandLineParser& parser) {
    const char* const withValue[] = {"platform",
                                     "platformpluginpath",
                                     "platformtheme",
                                     "plugin",
                                     "qwindowgeometry",
                                     "qwindowicon",
                                     "qwindowtitle",
                                     "session",
                                     "display",
                                     "geometry",
                                     "style",
                                     "stylesheet",
                                     "qmljsdebugger",
                                     "title",
                                     "icon",
                                     "name",
                                     "visual"};
    const char* const switches[] = {"reverse", "widgetcount", "nograb", "dograb", "testability"};
    const auto add = [&parser](const char* name, const QString& valueName) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), valueName);
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    };
    for (const char* name : withValue)
        add(name, QStringLiteral("value"));
    for (const char* name : switches)
        add(name, QString());
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("Quorvel"));
    QCoreApplication::setApplicationVersion(
        QLatin1String(quorvel::version.data(), qsizetype(quorvel::version.size())));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes an Eggdrop configuration file from the values entered in its "
                       "window."));
    // Qt's own options, such as -platform or -reverse, are single words, never letters run
    // together.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    acceptQtOptions(parser);

    // Options and arguments are judged before any display is needed: a mistyped option is
    // named as such, with or without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const bool parsed = parser.parse(arguments);
    if (!parsed || parser.isSet(QStringLiteral("version")) ||
        parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        QCoreApplication app(argc, argv);
        parser.process(arguments); // prints the error, help or version and exits
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr,
                     "quorvel: unexpected argument \"%s\": it reads no files and takes no "
                     "arguments (see --help)\n",
                     qPrintable(parser.positionalArguments().constFirst()));
        return 1;
    }

    if (!displayNamed(arguments)) {
        explainNoDisplay("no graphical display is available (neither DISPLAY nor "
                         "WAYLAND_DISPLAY is set)");
        return 1;
    }
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quorvel.Quorvel"));
    defaultHandler = qInstallMessageHandler(handleStartMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(handleMessage);

    quorvel::MainWindow window;
    window.show();
    return QApplication::exec();
}
