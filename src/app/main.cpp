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

    // Help and version need no display. Qt's own options are known only to QApplication, so
    // this first look lets them pass.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    (void)parser.parse(arguments);
    for (const char* request : {"version", "help", "help-all"}) {
        if (parser.isSet(QLatin1String(request))) {
            QCoreApplication app(argc, argv);
            parser.process(QStringList{arguments.value(0), QStringLiteral("--") + request});
        }
    }

    if (!displayNamed(arguments)) {
        explainNoDisplay("no graphical display is available (neither DISPLAY nor "
                         "WAYLAND_DISPLAY is set)");
        return 1;
    }
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quorvel.Quorvel"));
    defaultHandler = qInstallMessageHandler(handleStartMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(defaultHandler);

    // Unknown options end the program here, as in any Qt program.
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr,
                     "quorvel: unexpected argument \"%s\": it reads no files and takes no "
                     "arguments (see --help)\n",
                     qPrintable(parser.positionalArguments().constFirst()));
        return 1;
    }

    quorvel::MainWindow window;
    window.show();
    return QApplication::exec();
}
