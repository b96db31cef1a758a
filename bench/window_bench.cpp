// The main window, each figure a subject and its floor: a WRITE OUT with a long scripts box
// against the writer alone, the window built and shown against the same widgets with none of its
// logic, and the program's start to its first painted frame against a minimal Qt program.

#include "write_fixtures.h"

#include "ui/main_window.h"
#include "ui/main_window_layout.h"

#include "config/version.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <exception>
#include <memory>
#include <optional>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace quorvel::bench {
namespace {

using mainlayout::Kind;

// Shows a top-level window and returns once its first frame is painted: the event loop stops
// only after the event during which the frame was painted has been handled.
void showPainted(QWidget& window) {
    struct FirstPaint : QObject {
        QEventLoop loop;
        bool painted = false;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint && !painted) {
                painted = true;
                loop.quit();
            }
            return false;
        }
    } watch;
    window.installEventFilter(&watch);
    window.show();
    QTimer::singleShot(10000, &watch.loop, &QEventLoop::quit);
    if (!watch.painted)
        watch.loop.exec();
    window.removeEventFilter(&watch);
    if (!watch.painted)
        throw std::runtime_error("the window was not painted within 10 s");
}

template <typename T> T* control(QWidget& window, const QString& name) {
    T* widget = window.findChild<T*>(name);
    if (widget == nullptr)
        throw std::runtime_error("the window has no " + name.toStdString());
    return widget;
}

// Real time of a click on WRITE OUT with 100,000 lines in the scripts box (gathering the window's
// values, the write of a 3.3 MB file, the progress markers' repaint), each starting with the
// markers hidden, as on arriving at the "Finish" page; against the writer alone writing the
// record that the first click gathered, to the same file.
void writeOutClick(benchmark::State& state, bool floor) {
    try {
        MainWindow window;
        showPainted(window);
        QString lines;
        for (int n = 0; n < 100000; ++n)
            lines +=
                QStringLiteral("source scripts/script%1.tcl\n").arg(n, 6, 10, QLatin1Char('0'));
        control<QPlainTextEdit>(window, QStringLiteral("Text14"))->setPlainText(lines);
        const QString path = scratchDirectory() + QStringLiteral("/window-write");
        control<QLineEdit>(window, QStringLiteral("Text15"))->setText(path);
        auto* tabs = control<QTabWidget>(window, QStringLiteral("SSTab1"));
        tabs->setCurrentIndex(tabs->count() - 1);
        auto* writeOut = control<QPushButton>(window, QStringLiteral("Command1"));

        // A failed write shows a modal message box, which would wait for a user forever.
        bool failed = false;
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, [&failed] {
            if (QWidget* modal = QApplication::activeModalWidget())
                failed = modal->close();
        });
        guard.start(100);
        const auto click = [&] {
            writeOut->click();
            QCoreApplication::processEvents();
            if (failed)
                throw std::runtime_error("the write through the window failed");
        };
        click();
        if (!QFileInfo::exists(path))
            throw std::runtime_error("the write through the window made no file");
        ConfigWriter writer;
        IgnoreProgress progress;
        for (auto _ : state) {
            if (floor) {
                writer.writeConfig(window.settings(), progress);
                continue;
            }
            state.PauseTiming();
            window.SSTab1_Click();
            QCoreApplication::processEvents();
            state.ResumeTiming();
            click();
        }
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// The floor of showWindow: the window's widgets, each control of the layout table made as a
// plain widget of its kind at its place, with what the built window's widget shows (text, check,
// and the font it set for itself), on six pages of a tab widget, under the same menus. Building it
// does nothing else: no validators, no fitting scale, no handlers, no accessibility.
struct PlainWindow {
    struct Shown {
        QString text;
        bool checked, hidden;
        std::optional<QFont> font;
    };
    TwipScale scale;
    QPoint origin; // of the pages in the client area
    std::vector<Shown> shown;

    explicit PlainWindow(MainWindow& window) : scale(window.layoutScale()) {
        showPainted(window);
        origin = control<QTabWidget>(window, QStringLiteral("SSTab1"))
                     ->currentWidget()
                     ->mapTo(window.centralWidget(), QPoint());
        for (const auto& c : mainlayout::controls) {
            const char* prefix = c.kind == Kind::Label        ? "Label"
                                 : c.kind == Kind::CheckBox   ? "Check"
                                 : c.kind == Kind::PushButton ? "Command"
                                                              : "Text";
            auto* w = control<QWidget>(window, prefix + QString::number(c.number));
            const char* text = c.kind == Kind::PlainTextEdit ? "plainText" : "text";
            shown.push_back({w->property(text).toString(), w->property("checked").toBool(),
                             w->isHidden(), std::nullopt});
            if (w->testAttribute(Qt::WA_SetFont))
                shown.back().font = w->font();
        }
    }

    std::unique_ptr<QWidget> build() const {
        using namespace mainlayout;
        auto window = std::make_unique<QMainWindow>();
        QMenu* menu = nullptr;
        for (const auto& entry : menuEntries) {
            if (menu == nullptr || menu->title() != QLatin1String(entry.menuCaption))
                menu = window->menuBar()->addMenu(QString::fromLatin1(entry.menuCaption));
            if (qstrcmp(entry.caption, "-") == 0)
                menu->addSeparator();
            else
                menu->addAction(QString::fromLatin1(entry.caption))->setEnabled(entry.enabled);
        }
        auto* client = new QWidget;
        window->setCentralWidget(client);
        client->setFixedSize(scale.px(clientWidth), scale.px(clientHeight));
        auto* tabs = new QTabWidget(client);
        tabs->setUsesScrollButtons(false);
        tabs->setGeometry(scale.rect(0, 0, tabControlWidth, tabControlHeight));
        std::vector<QWidget*> pages;
        for (const char* caption : pageCaptions)
            tabs->addTab(pages.emplace_back(new QWidget), QString::fromLatin1(caption));
        for (std::size_t i = 0; i < std::size(controls); ++i) {
            const Control& c = controls[i];
            const Shown& s = shown[i];
            QWidget* page = pages[std::size_t(c.page)];
            QWidget* w = c.kind == Kind::Label      ? new QLabel(s.text, page)
                         : c.kind == Kind::LineEdit ? new QLineEdit(s.text, page)
                         : c.kind == Kind::CheckBox ? new QCheckBox(s.text, page)
                         : c.kind == Kind::PushButton
                             ? static_cast<QWidget*>(new QPushButton(s.text, page))
                             : new QPlainTextEdit(s.text, page);
            if (auto* box = qobject_cast<QCheckBox*>(w))
                box->setChecked(s.checked);
            w->setGeometry(scale.rect(c.left, c.top, c.width, c.height).translated(-origin));
            if (s.font)
                w->setFont(*s.font);
            if (s.hidden)
                w->hide();
        }
        return window;
    }
};

// CPU time of this thread from constructing the window to its first painted frame; destroying
// it is not timed. "widgets" counts every widget of the window, the toolkit's inner ones
// included, as evidence that the floor is the same composition.
void showWindow(benchmark::State& state, bool floor) {
    try {
        std::optional<PlainWindow> plain;
        if (floor) {
            MainWindow window;
            plain.emplace(window);
        }
        for (auto _ : state) {
            std::unique_ptr<QWidget> window =
                plain ? plain->build() : std::unique_ptr<QWidget>(new MainWindow);
            showPainted(*window);
            state.PauseTiming();
            state.counters["widgets"] = double(window->findChildren<QWidget*>().size() + 1);
            window.reset();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
            state.ResumeTiming();
        }
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// The program's start is measured in a fresh process, this program started again with this
// flag and "program" or "floor".
constexpr std::string_view firstFrameFlag = "--first-frame=";

// In the child: start as src/app/main.cpp does (or as a minimal Qt program: a main window with
// six empty pages and a menu bar), and leave as soon as the window's first frame is painted.
[[noreturn]] void firstFrameChild(char* program, bool floor) {
    int argc = 1;
    char* argv[] = {program, nullptr};
    QApplication app(argc, argv);
    std::unique_ptr<QMainWindow> window;
    if (floor) {
        window = std::make_unique<QMainWindow>();
        auto* tabs = new QTabWidget;
        for (int page = 1; page <= 6; ++page)
            tabs->addTab(new QWidget, QStringLiteral("Page %1").arg(page));
        window->setCentralWidget(tabs);
        window->menuBar()->addMenu(QStringLiteral("File"))->addAction(QStringLiteral("Exit"));
    } else {
        QApplication::setApplicationName(QStringLiteral("Quorvel"));
        QApplication::setApplicationVersion(
            QLatin1String(version.data(), qsizetype(version.size())));
        QGuiApplication::setDesktopFileName(QStringLiteral("org.quorvel.Quorvel"));
        window = std::make_unique<MainWindow>();
    }
    showPainted(*window); // an exception ends the child abnormally
    ::_exit(0);           // the teardown is not part of the start
}

// Google Benchmark cannot see a child's CPU time: each iteration reports the user and system CPU
// time of one child, from its exec to its exit, as its manual time.
void firstFrame(benchmark::State& state, const char* mode) {
    try {
        QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
        std::string flag = std::string(firstFrameFlag) + mode;
        char* argv[] = {self.data(), flag.data(), nullptr};
        for (auto _ : state) {
            pid_t pid = 0;
            if (::posix_spawn(&pid, self.constData(), nullptr, nullptr, argv, environ) != 0)
                throw std::runtime_error("cannot start a child process");
            int status = 0;
            rusage usage{};
            if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
                WEXITSTATUS(status) != 0)
                throw std::runtime_error("the child process failed");
            state.SetIterationTime(double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                                   double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6);
        }
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

using benchmark::kMillisecond;
BENCHMARK_CAPTURE(writeOutClick, subject, false)->UseRealTime()->Unit(kMillisecond);
BENCHMARK_CAPTURE(writeOutClick, floor, true)->UseRealTime()->Unit(kMillisecond);
BENCHMARK_CAPTURE(showWindow, subject, false)->Unit(kMillisecond);
BENCHMARK_CAPTURE(showWindow, floor, true)->Unit(kMillisecond);
BENCHMARK_CAPTURE(firstFrame, subject, "program")->UseManualTime()->Unit(kMillisecond);
BENCHMARK_CAPTURE(firstFrame, floor, "floor")->UseManualTime()->Unit(kMillisecond);

} // namespace
} // namespace quorvel::bench

int main(int argc, char** argv) {
    using namespace quorvel::bench;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform warns about every fixed-size window it shows; hundreds of those
    // would bury the results.
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (type != QtWarningMsg || !message.contains(QLatin1String("propagateSizeHints")))
                previous(type, context, message);
        });

    if (argc == 2 && std::string_view(argv[1]).starts_with(firstFrameFlag))
        firstFrameChild(argv[0],
                        std::string_view(argv[1]).substr(firstFrameFlag.size()) == "floor");

    int appArgc = 1; // the benchmark flags are not the toolkit's
    QApplication app(appArgc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
