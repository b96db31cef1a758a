// Building and showing the main window against an empty window of the same frame (time and
// resident memory), and a write of a long scripts box through the window.

#include "bench_support.h"
#include "process_memory.h"
#include "write_fixtures.h"

#include "ui/main_window.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvel::bench {
namespace {

// The toolkit's own floor: a main window with six empty pages and a menu bar.
std::unique_ptr<QMainWindow> makeFloorWindow() {
    auto window = std::make_unique<QMainWindow>();
    auto* tabs = new QTabWidget;
    for (int page = 1; page <= 6; ++page)
        tabs->addTab(new QWidget, QStringLiteral("Page %1").arg(page));
    window->setCentralWidget(tabs);
    window->menuBar()->addMenu(QStringLiteral("&File"))->addAction(QStringLiteral("E&xit"));
    return window;
}

std::unique_ptr<QMainWindow> makeWindow(bool floor) {
    if (floor)
        return makeFloorWindow();
    return std::make_unique<MainWindow>();
}

// Shown means exposed by the platform and painted once: the first paint is posted during show
// and handled by the event loop.
void showUntilExposed(QWidget& window) {
    window.show();
    const QDeadlineTimer deadline(10000);
    while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
        if (deadline.hasExpired())
            throw std::runtime_error("the window was never exposed");
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QCoreApplication::processEvents();
}

// Builds and shows the main window and the empty one in alternation, each alone; closing them
// is not timed.
void showWindow(benchmark::State& state) {
    try {
        PairedTimes times;
        std::unique_ptr<QMainWindow> shown;
        for (auto _ : state) {
            times.run(
                [&] {
                    shown = makeWindow(false);
                    showUntilExposed(*shown);
                },
                [&] {
                    shown = makeWindow(true);
                    showUntilExposed(*shown);
                },
                [&] {
                    shown.reset();
                    QCoreApplication::processEvents(); // deferred deletions
                });
        }
        times.report(state);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// Resident memory needs a process of its own per window: in this one the toolkit's caches are
// warm and freed pages stay mapped. The child is this program, started with one of these.
constexpr const char* residentChildFlag = "--resident-child=";

// In the child: resident growth from a started application to the window shown, both sides
// measured with the allocator's free pages handed back so that only memory in use counts.
int residentChild(bool floor) {
    releaseFreeHeap();
    const long long before = residentBytes();
    auto window = makeWindow(floor);
    showUntilExposed(*window);
    releaseFreeHeap();
    const long long after = residentBytes();
    std::printf("resident_growth_bytes %lld\n", after - before);
    return before < 0 || after < 0 ? 1 : 0;
}

long long childResidentGrowth(bool floor) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(residentChildFlag) +
                 (floor ? QStringLiteral("floor") : QStringLiteral("window"))});
    if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0) {
        throw std::runtime_error("the measuring child process failed");
    }
    const QByteArray out = child.readAllStandardOutput();
    long long growth = -1;
    if (std::sscanf(out.constData(), "resident_growth_bytes %lld", &growth) != 1)
        throw std::runtime_error("the measuring child printed no figure");
    return growth;
}

// One child for each window per iteration, in alternating order.
void residentGrowth(benchmark::State& state) {
    try {
        std::vector<double> window;
        std::vector<double> floor;
        for (auto _ : state) {
            const auto measure = [](bool ofFloor) {
                return static_cast<double>(childResidentGrowth(ofFloor));
            };
            if (window.size() % 2 == 1) {
                floor.push_back(measure(true));
                window.push_back(measure(false));
            } else {
                window.push_back(measure(false));
                floor.push_back(measure(true));
            }
        }
        const double measured = median(window);
        const double base = median(floor);
        state.counters["measured_bytes"] = measured;
        state.counters["floor_bytes"] = base;
        state.counters["ratio"] = base > 0 ? measured / base : 0;
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

constexpr int scriptsBoxLines = 100000;

QString scriptsBoxText() {
    QString text;
    text.reserve(scriptsBoxLines * 36);
    for (int n = 0; n < scriptsBoxLines; ++n) {
        if (n > 0)
            text += QLatin1Char('\n');
        text += QStringLiteral("source scripts/script%1.tcl").arg(n, 6, 10, QLatin1Char('0'));
    }
    return text;
}

template <typename T> T* control(QWidget& window, const char* name) {
    T* widget = window.findChild<T*>(QLatin1String(name));
    if (widget == nullptr)
        throw std::runtime_error(std::string("the window has no ") + name);
    return widget;
}

// A failed write may open a modal message box, which would wait for a user that never comes:
// close it and report the failure instead.
class ModalGuard {
public:
    ModalGuard() {
        timer_.setInterval(50);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                seen_ = true;
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
                else
                    modal->close();
            }
        });
        timer_.start();
    }
    bool seenModal() const { return seen_; }

private:
    QTimer timer_;
    bool seen_ = false;
};

// The WRITE OUT button with a long scripts box, against the writer alone writing the record
// that the window gathered.
void scriptsBoxWrite(benchmark::State& state) {
    try {
        MainWindow window;
        showUntilExposed(window);
        const QString path = scratchDirectory() + QStringLiteral("/window-write");
        control<QLineEdit>(window, "Text15")->setText(path);
        control<QPlainTextEdit>(window, "Text14")->setPlainText(scriptsBoxText());
        QPushButton* writeOut = control<QPushButton>(window, "Command1");
        QCoreApplication::processEvents();

        window.gatherSettings();
        BotSettings record = window.settings();
        record.outputFileName = scratchDirectory() + QStringLiteral("/window-record");
        ConfigWriter writer;
        IgnoreProgress progress;

        ModalGuard guard;
        PairedTimes times;
        for (auto _ : state) {
            times.run(
                [&] {
                    writeOut->click();
                    QCoreApplication::processEvents(); // the progress markers' repaint
                },
                [&] { writer.writeConfig(record, progress); });
        }
        if (guard.seenModal() || !QFileInfo::exists(path)) {
            state.SkipWithError("the write through the window did not complete");
            return;
        }
        times.report(state);
        state.counters["file_bytes"] = static_cast<double>(QFileInfo(path).size());
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

BENCHMARK(showWindow)->UseRealTime()->Unit(benchmark::kMillisecond);
// Child processes are slow to start; a few pairs per repetition are enough.
BENCHMARK(residentGrowth)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(scriptsBoxWrite)->UseRealTime()->Unit(benchmark::kMillisecond);

std::vector<SummaryRow> summary(const CollectingReporter& results) {
    std::vector<SummaryRow> rows;
    // Building a window only computes: its CPU time is the figure that load does not distort.
    rows.push_back(pairedRow(results, "main window shown: CPU time / empty six-page window",
                             "showWindow", 1.5, Clock::Cpu));
    rows.push_back(pairedRow(results, "main window shown: real time / empty six-page window",
                             "showWindow", std::nullopt));

    SummaryRow resident{"main window shown: resident growth / empty window",
                        "missing",
                        "missing",
                        std::nullopt,
                        1.5,
                        "x"};
    if (const auto m = results.find("residentGrowth")) {
        resident.measured = formatBytes(m->counters.at("measured_bytes"));
        resident.floor = formatBytes(m->counters.at("floor_bytes"));
        resident.value = m->counters.at("ratio");
    }
    rows.push_back(resident);

    SummaryRow write{
        "100,000-line scripts box: gather and write", "missing", "-", std::nullopt, 1.0, " s"};
    if (const auto m = results.find("scriptsBoxWrite")) {
        write.measured = formatSeconds(m->counters.at("measured_s"));
        write.value = m->counters.at("measured_s");
    }
    rows.push_back(write);
    rows.push_back(pairedRow(results, "100,000-line scripts box: window / writer alone",
                             "scriptsBoxWrite", std::nullopt));
    return rows;
}

QtMessageHandler previousHandler = nullptr;

// The offscreen platform warns on every fixed-size window it shows; hundreds of those would
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    quorvel::bench::previousHandler = qInstallMessageHandler(quorvel::bench::quietHandler);

    const std::size_t flagLength = std::strlen(quorvel::bench::residentChildFlag);
    if (argc == 2 && std::strncmp(argv[1], quorvel::bench::residentChildFlag, flagLength) == 0) {
        int appArgc = 1;
        QApplication app(appArgc, argv);
        return quorvel::bench::residentChild(std::strcmp(argv[1] + flagLength, "floor") == 0);
    }

    int appArgc = 1; // the benchmark flags are not the toolkit's
    QApplication app(appArgc, argv);
    return quorvel::bench::runWithSummary(argc, argv, "Window (medians of this run)",
                                          quorvel::bench::summary);
}
