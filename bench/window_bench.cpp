// The main window: a WRITE OUT with a long scripts box against the writer alone, the window
// built and shown against a copy of its controls with none of its logic, and the program's start
// to its first painted frame against a minimal Qt program.

#include "bench_support.h"
#include "write_fixtures.h"

#include "ui/main_window.h"

#include "config/version.h"

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
#include <functional>
#include <memory>
#include <optional>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace quorvel::bench {
namespace {

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

template <typename T> T* control(QWidget& window, const char* name) {
    T* widget = window.findChild<T*>(QLatin1String(name));
    if (widget == nullptr)
        throw std::runtime_error(std::string("the window has no ") + name);
    return widget;
}

// A click on WRITE OUT with 100,000 lines in the scripts box (gathering the window's values,
// the write, the progress markers' repaint), against the writer alone writing the very record
// the click gathered, to the same file. Each click starts with the markers hidden, as on
// arriving at the "Finish" page.
void writeOutClick(benchmark::State& state) {
    try {
        MainWindow window;
        showPainted(window);
        QString lines;
        for (int n = 0; n < 100000; ++n)
            lines +=
                QStringLiteral("source scripts/script%1.tcl\n").arg(n, 6, 10, QLatin1Char('0'));
        control<QPlainTextEdit>(window, "Text14")->setPlainText(lines);
        const QString path = scratchDirectory() + QStringLiteral("/window-write");
        control<QLineEdit>(window, "Text15")->setText(path);
        auto* tabs = control<QTabWidget>(window, "SSTab1");
        tabs->setCurrentIndex(tabs->count() - 1);
        QPushButton* writeOut = control<QPushButton>(window, "Command1");

        // A failed write shows a modal message box, which would wait for a user forever.
        bool failed = false;
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                failed = true;
                modal->close();
            }
        });
        guard.start(100);
        writeOut->click();
        if (failed || !QFileInfo::exists(path))
            throw std::runtime_error("the write through the window failed");
        const BotSettings record = window.settings();

        ConfigWriter writer;
        IgnoreProgress progress;
        PairedRatio pair;
        for (auto _ : state) {
            pair.run(
                [&] {
                    window.SSTab1_Click();
                    QCoreApplication::processEvents();
                    return realSeconds([&] {
                        writeOut->click();
                        QCoreApplication::processEvents();
                    });
                },
                [&] { return realSeconds([&] { writer.writeConfig(record, progress); }); });
        }
        if (failed)
            throw std::runtime_error("the write through the window failed");
        pair.report(state, 2.0);
        state.counters["file_MB"] = static_cast<double>(QFileInfo(path).size()) / 1e6;
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// The main window's frame and controls, taken from a built one: for each control a maker that
// creates a widget of its type with its text and state, and its place, font and colours. Building
// the copy does nothing else.
struct WindowCopy {
    using Maker = std::function<QWidget*(QWidget* page)>;
    struct Control {
        Maker make;
        int page;
        QRect geometry;
        std::optional<QFont> font;       // where the window set one
        std::optional<QPalette> palette; // likewise
        bool autoFill, disabled, hidden;
    };
    struct Menu {
        QString title;
        std::vector<std::pair<QString, bool>> items; // text and enabled; no text: a separator
    };
    QString title;
    Qt::WindowFlags flags;
    QSize size, clientSize;
    QRect tabGeometry;
    bool scrollButtons = true;
    QStringList pages;
    std::vector<Menu> menus;
    std::vector<Control> controls;
};

WindowCopy::Maker makerOf(QWidget& w) {
    if (auto* label = qobject_cast<QLabel*>(&w))
        return [text = label->text(), align = label->alignment()](QWidget* page) -> QWidget* {
            auto* copy = new QLabel(text, page);
            copy->setAlignment(align);
            return copy;
        };
    if (auto* box = qobject_cast<QLineEdit*>(&w))
        return [text = box->text()](QWidget* page) {
            return new QLineEdit(text, page);
        };
    if (auto* box = qobject_cast<QPlainTextEdit*>(&w))
        return [text = box->toPlainText(), v = box->verticalScrollBarPolicy(),
                h = box->horizontalScrollBarPolicy()](QWidget* page) -> QWidget* {
            auto* copy = new QPlainTextEdit(text, page);
            copy->setVerticalScrollBarPolicy(v);
            copy->setHorizontalScrollBarPolicy(h);
            return copy;
        };
    if (auto* box = qobject_cast<QCheckBox*>(&w))
        return [text = box->text(), checked = box->isChecked()](QWidget* page) -> QWidget* {
            auto* copy = new QCheckBox(text, page);
            copy->setChecked(checked);
            return copy;
        };
    if (auto* button = qobject_cast<QPushButton*>(&w))
        return [text = button->text()](QWidget* page) {
            return new QPushButton(text, page);
        };
    throw std::runtime_error(std::string("a control of another type: ") +
                             w.metaObject()->className());
}

WindowCopy copyOf(QMainWindow& window) {
    auto* tabs = control<QTabWidget>(window, "SSTab1");
    WindowCopy copy;
    copy.title = window.windowTitle();
    copy.flags = window.windowFlags();
    copy.size = window.size();
    copy.clientSize = window.centralWidget()->size();
    copy.tabGeometry = tabs->geometry();
    copy.scrollButtons = tabs->usesScrollButtons();
    for (QAction* menu : window.menuBar()->actions()) {
        copy.menus.push_back({menu->text(), {}});
        for (QAction* item : menu->menu()->actions())
            copy.menus.back().items.emplace_back(item->isSeparator() ? QString() : item->text(),
                                                 item->isEnabled());
    }
    for (int page = 0; page < tabs->count(); ++page) {
        copy.pages.append(tabs->tabText(page));
        for (QWidget* w : tabs->widget(page)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            copy.controls.push_back({makerOf(*w), page, w->geometry(), std::nullopt, std::nullopt,
                                     w->autoFillBackground(), !w->isEnabled(), w->isHidden()});
            if (w->testAttribute(Qt::WA_SetFont))
                copy.controls.back().font = w->font();
            if (w->testAttribute(Qt::WA_SetPalette))
                copy.controls.back().palette = w->palette();
        }
    }
    return copy;
}

std::unique_ptr<QMainWindow> build(const WindowCopy& copy) {
    auto window = std::make_unique<QMainWindow>();
    window->setWindowTitle(copy.title);
    window->setWindowFlags(copy.flags);
    for (const auto& m : copy.menus) {
        QMenu* menu = window->menuBar()->addMenu(m.title);
        for (const auto& [text, enabled] : m.items) {
            if (text.isEmpty())
                menu->addSeparator();
            else
                menu->addAction(text)->setEnabled(enabled);
        }
    }
    auto* client = new QWidget;
    window->setCentralWidget(client);
    client->setFixedSize(copy.clientSize);
    auto* tabs = new QTabWidget(client);
    tabs->setUsesScrollButtons(copy.scrollButtons);
    tabs->setGeometry(copy.tabGeometry);
    std::vector<QWidget*> pages;
    for (const QString& caption : copy.pages) {
        pages.push_back(new QWidget);
        tabs->addTab(pages.back(), caption);
    }
    for (const auto& c : copy.controls) {
        QWidget* w = c.make(pages[static_cast<std::size_t>(c.page)]);
        w->setGeometry(c.geometry);
        if (c.font)
            w->setFont(*c.font);
        if (c.palette)
            w->setPalette(*c.palette);
        w->setAutoFillBackground(c.autoFill);
        if (c.disabled)
            w->setEnabled(false);
        if (c.hidden)
            w->hide();
    }
    window->setFixedSize(copy.size);
    return window;
}

// CPU time of this thread from constructing the window to its first painted frame; destroying
// it is not timed.
void showWindow(benchmark::State& state) {
    try {
        const WindowCopy copy = [] {
            MainWindow window;
            showPainted(window);
            return copyOf(window);
        }();
        std::unique_ptr<QWidget> shown;
        const auto timeShown = [&](const auto& make) {
            const double seconds = threadCpuSeconds([&] {
                shown = make();
                showPainted(*shown);
            });
            shown.reset();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
            return seconds;
        };
        const auto makeWindow = [] {
            return std::make_unique<MainWindow>();
        };
        const auto makeCopy = [&] {
            return build(copy);
        };

        PairedRatio pair;
        for (auto _ : state)
            pair.run([&] { return timeShown(makeWindow); }, [&] { return timeShown(makeCopy); });
        pair.report(state, 1.10);
        // Evidence that the copy is the same composition: every widget of each once shown,
        // the toolkit's inner ones included.
        const auto widgets = [](const auto& make) {
            const auto window = make();
            showPainted(*window);
            return static_cast<double>(window->template findChildren<QWidget*>().size() + 1);
        };
        state.counters["subject_widgets"] = widgets(makeWindow);
        state.counters["floor_widgets"] = widgets(makeCopy);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// The program's start is measured in a fresh process, this program started again with this
// flag and "program" or "floor".
constexpr std::string_view firstFrameFlag = "--first-frame=";

// The toolkit's floor: a main window with six empty pages and a menu bar.
std::unique_ptr<QMainWindow> minimalWindow() {
    auto window = std::make_unique<QMainWindow>();
    auto* tabs = new QTabWidget;
    for (int page = 1; page <= 6; ++page)
        tabs->addTab(new QWidget, QStringLiteral("Page %1").arg(page));
    window->setCentralWidget(tabs);
    window->menuBar()->addMenu(QStringLiteral("File"))->addAction(QStringLiteral("Exit"));
    return window;
}

// In the child: start as the program does, show the window, and leave as soon as its first
// frame is painted.
[[noreturn]] void firstFrameChild(char* program, bool floor) {
    int argc = 1;
    char* argv[] = {program, nullptr};
    QApplication app(argc, argv);
    std::unique_ptr<QWidget> window;
    if (floor) {
        window = minimalWindow();
    } else {
        // As src/app/main.cpp does before it shows the window.
        QApplication::setApplicationName(QStringLiteral("Quorvel"));
        QApplication::setApplicationVersion(
            QLatin1String(version.data(), qsizetype(version.size())));
        QGuiApplication::setDesktopFileName(QStringLiteral("org.quorvel.Quorvel"));
        window = std::make_unique<MainWindow>();
    }
    try {
        showPainted(*window);
    } catch (const std::exception&) {
        ::_exit(1);
    }
    ::_exit(0); // the teardown is not part of the start
}

// User and system CPU time of one child, from its exec to its exit.
double childCpuSeconds(const char* mode) {
    QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
    std::string flag = std::string(firstFrameFlag) + mode;
    char* argv[] = {self.data(), flag.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, self.constData(), nullptr, nullptr, argv, environ) != 0)
        throw std::runtime_error("cannot start a child process");
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the child process failed");
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void firstFrame(benchmark::State& state) {
    try {
        PairedRatio pair;
        for (auto _ : state)
            pair.run([] { return childCpuSeconds("program"); },
                     [] { return childCpuSeconds("floor"); });
        pair.report(state, 1.10);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

BENCHMARK(writeOutClick)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(showWindow)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(firstFrame)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

QtMessageHandler previousHandler = nullptr;

// The offscreen platform warns about every fixed-size window it shows; hundreds of those would
// bury the results.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.contains(QLatin1String("propagateSizeHints")))
        return;
    if (previousHandler != nullptr)
        previousHandler(type, context, message);
}

} // namespace
} // namespace quorvel::bench

int main(int argc, char** argv) {
    using namespace quorvel::bench;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    previousHandler = qInstallMessageHandler(quietHandler);

    if (argc == 2 && std::string_view(argv[1]).starts_with(firstFrameFlag))
        firstFrameChild(argv[0],
                        std::string_view(argv[1]).substr(firstFrameFlag.size()) == "floor");

    int appArgc = 1; // the benchmark flags are not the toolkit's
    QApplication app(appArgc, argv);
    return runBenchmarks(argc, argv);
}
