// The real application quitting while a 4K 10-bit HEVC export runs, timed from outside.
//
// Started without arguments (or with --runs N and a folder), this program makes an 8-second
// 3840 x 2160 clip, a 33-point LUT and a timeline job of that clip graded by the LUT, puts an
// older movie at the export's output, and then runs itself again as the application, N times
// for each case:
//   out-of-sight  the 10-bit Export workspace exports the job; two seconds in, the Edit Mode is
//                 chosen (the export goes on out of sight); then the window is closed as a window
//                 manager closes it;
//   in-view       the same export in view; the window is closed, and the question that asks
//                 whether to stop the export is answered "Stop & Quit";
//   sigterm       the same export in view; two seconds in, this process sends the application
//                 SIGTERM (as a log-out does), which must end it as a quit does, with status
//                 128 + 15;
//   posters       no export: twelve copies of the 4K clip are imported into the Edit Mode's
//                 media pool, and the window is closed while their poster frames are decoded
//                 (timed from the answer "Discard" to the unsaved project's question).
// The child builds the window main() builds and ends as main() ends (EditorApplication::finish);
// it writes the monotonic time of the close (of the answer, in view; of its readiness for the
// signal, which this process sends at once and times from) to a pipe, and this process takes
// the time once the child has been reaped, so the application's whole teardown (thread joins,
// static destructors) counts. After each run the folder must hold no partial movie and the
// older movie, unchanged. Prints each run, the median and worst per case, and
// the load average. Results: bench/README.md, "Quitting while work runs".

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <nlohmann/json.hpp>

#include "app/EditorApplication.h"
#include "controls/VelmoraWorkflowState.h"
#include "export_workspaces/ContentView.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "export_workspaces/OrphanedExports.h"
#include "workspace/EditorContentView.h"
#include "workspace/EditorWorkspaceController.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSeconds = 8;
constexpr int kFps = 25;
constexpr int kLutSize = 33;
constexpr int kPosterClips = 12;
const char* const kOlderMovie = "an older movie, which a stopped export leaves as it is";

std::int64_t monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void run(const std::string& command)
{
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

void writeLookCube(const fs::path& path)
{
    std::ofstream out(path);
    out << "TITLE \"bench look\"\nLUT_3D_SIZE " << kLutSize << "\n";
    char line[96];
    for (int b = 0; b < kLutSize; ++b) {
        for (int g = 0; g < kLutSize; ++g) {
            for (int r = 0; r < kLutSize; ++r) {
                const double c[3] = {double(r) / (kLutSize - 1), double(g) / (kLutSize - 1), double(b) / (kLutSize - 1)};
                double o[3];
                for (int k = 0; k < 3; ++k)
                    o[k] = std::clamp(0.9 * c[k] + 0.05 * c[(k + 1) % 3] + 0.05 * c[(k + 2) % 3] +
                                          0.03 * std::sin(6.283185307 * c[k]),
                                      0.0, 1.0);
                std::snprintf(line, sizeof line, "%.6f %.6f %.6f\n", o[0], o[1], o[2]);
                out << line;
            }
        }
    }
}

void makeFixtures(const fs::path& folder)
{
    fs::create_directories(folder / "media");
    if (!fs::exists(folder / "media" / "uhd.mp4")) {
        run("ffmpeg -y -v error -f lavfi -i testsrc2=s=3840x2160:r=" + std::to_string(kFps) + ":d=" +
            std::to_string(kSeconds) + " -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p " +
            (folder / "media" / "uhd.mp4").string());
    }
    writeLookCube(folder / "media" / "look.cube");
    fs::create_directories(folder / "posters");
    for (int i = 0; i < kPosterClips; ++i) {
        const fs::path copy = folder / "posters" / ("uhd_" + std::to_string(i) + ".mp4");
        if (!fs::exists(copy))
            fs::copy_file(folder / "media" / "uhd.mp4", copy);
    }
    nlohmann::json clip = {{"id", "c1"},       {"type", "video"},        {"sourceId", "clip"}, {"track", 1},
                           {"startTime", 0.0}, {"duration", kSeconds * 1.0}, {"inPoint", 0.0}};
    nlohmann::json job = {{"tool", "velmora-editor-desktop-export"},
                          {"version", 2},
                          {"grade", {{"lutCube", "look.cube"}}},
                          {"project", {{"width", 3840}, {"height", 2160}, {"fps", kFps}}},
                          {"sources", {{{"id", "clip"}, {"fileName", "uhd.mp4"}}}},
                          {"timelines", {{{"id", "t1"}, {"clips", {clip}}}}}};
    std::ofstream(folder / "job.json") << job.dump(2);
}

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ---- The application (the child) ----

bool waitUntil(const std::function<bool()>& done, double seconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        // A replaced workspace goes with the deletions the event loop would run.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

template <typename T>
T* shownTopLevel(const char* objectName = nullptr)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<T*>(widget); found && found->isVisible() &&
                                                     (!objectName || found->objectName() == QLatin1String(objectName)))
            return found;
        for (T* child : widget->findChildren<T*>()) {
            if (child->isVisible() && (!objectName || child->objectName() == QLatin1String(objectName)))
                return child;
        }
    }
    return nullptr;
}

int fail(const char* what)
{
    std::fprintf(stderr, "bench_quit_export: %s\n", what);
    return 2;
}

enum class Case { outOfSight, inView, sigterm, posters };

bool report(int reportFd, std::int64_t closing)
{
    const bool written = ::write(reportFd, &closing, sizeof closing) == static_cast<ssize_t>(sizeof closing);
    ::close(reportFd);
    return written;
}

// Imports the 4K clips into the media pool and closes the window while their poster frames are
// being decoded.
int quitDuringPosters(velmora::VelmoraDesktopShellView& window, const fs::path& folder, int reportFd)
{
    auto* edit = qobject_cast<velmora::EditorContentView*>(window.currentWorkspace());
    if (!edit)
        return fail("no Edit workspace");
    std::vector<fs::path> clips;
    for (int i = 0; i < kPosterClips; ++i)
        clips.push_back(folder / "posters" / ("uhd_" + std::to_string(i) + ".mp4"));
    edit->controller().processImportedFiles(clips);
    // Let the decoding get under way (a second of the event loop), then close; the imported
    // clips made the project unsaved, so its question is answered "Discard", timed from there.
    waitUntil([] { return false; }, 1);
    std::int64_t closing = monotonicNs();
    window.close();
    if (edit->controller().discardQuestion()) {
        closing = monotonicNs();
        edit->controller().answerDiscardQuestion(true);
    }
    if (!report(reportFd, closing))
        return fail("cannot report the close");
    return 0;
}

int application(int argc, char** argv, Case which, const fs::path& folder, int reportFd)
{
    const bool inView = which != Case::outOfSight;
    QApplication app(argc, argv);
    velmora::EditorApplication::configure(app);
    velmora::EditorApplication::endOnSignals(app);
    auto window = velmora::EditorApplication::makeWindow();
    window->show();
    QObject::connect(window.get(), &velmora::VelmoraDesktopShellView::closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    if (which == Case::posters) {
        if (const int failed = quitDuringPosters(*window, folder, reportFd))
            return failed;
        const int status = QApplication::exec();
        return velmora::EditorApplication::finish(std::move(window), status);
    }

    window->workflow().setSelectedTab(velmora::VelmoraShellTab::exportTab);
    velmora::ContentView* tenBit = nullptr;
    if (!waitUntil([&] { return (tenBit = qobject_cast<velmora::ContentView*>(window->currentWorkspace())); }, 30))
        return fail("no 10-bit Export workspace");
    velmora::ExportWorkspaceController& job = tenBit->controller();
    job.applyDroppedFile(folder / "job.json");
    job.applyDroppedFile(folder / "media");
    if (!job.inputsComplete())
        return fail("the job's inputs are not complete");
    job.startExport();
    QFileDialog* panel = nullptr;
    if (!waitUntil([&] { return (panel = shownTopLevel<QFileDialog>()) != nullptr; }, 30))
        return fail("no output panel");
    panel->selectFile(QString::fromStdString((folder / "master.mp4").string()));
    QMetaObject::invokeMethod(panel, "accept");
    // The panel asks before replacing the older movie.
    QMessageBox* replace = nullptr;
    if (!waitUntil([&] { return (replace = shownTopLevel<QMessageBox>("replaceQuestion")) != nullptr; }, 30))
        return fail("no replace question");
    for (QAbstractButton* button : replace->buttons()) {
        if (button->text() == QStringLiteral("Replace"))
            button->click();
    }
    if (!waitUntil([&] { return job.isExporting(); }, 30))
        return fail(("the export did not start: " + job.statusText() + " " + job.errorText()).c_str());
    // Two seconds in, as the export's own stop benchmark asks.
    waitUntil([] { return false; }, 2);
    if (!job.isExporting())
        return fail("the export ended too soon");

    if (!inView) {
        window->workflow().setSelectedTab(velmora::VelmoraShellTab::editor);
        if (!waitUntil([] { return velmora::OrphanedExports::count() == 1; }, 30))
            return fail("the export was not left running out of sight");
    }
    if (which == Case::sigterm) {
        // This process is ready: the signal comes from outside.
        if (!report(reportFd, monotonicNs()))
            return fail("cannot report readiness");
        const int status = QApplication::exec();
        return velmora::EditorApplication::finish(std::move(window), status);
    }
    std::int64_t closing = monotonicNs();
    window->close();
    if (inView) {
        QMessageBox* question = nullptr;
        if (!waitUntil([&] { return (question = shownTopLevel<QMessageBox>("quitQuestion")) != nullptr; }, 30))
            return fail("no quit question");
        QAbstractButton* stop = nullptr;
        for (QAbstractButton* button : question->buttons()) {
            if (button->text().replace(QStringLiteral("&&"), QStringLiteral("&")) == QStringLiteral("Stop & Quit"))
                stop = button;
        }
        if (!stop)
            return fail("no \"Stop & Quit\"");
        closing = monotonicNs();
        stop->click();
    }
    if (::write(reportFd, &closing, sizeof closing) != static_cast<ssize_t>(sizeof closing))
        return fail("cannot report the close");
    ::close(reportFd);
    const int status = QApplication::exec();
    return velmora::EditorApplication::finish(std::move(window), status);
}

// ---- The measuring parent ----

struct Quit {
    double ms = 0;
    bool clean = false;
};

const char* caseName(Case which)
{
    switch (which) {
    case Case::outOfSight:
        return "out-of-sight";
    case Case::inView:
        return "in-view";
    case Case::sigterm:
        return "sigterm";
    case Case::posters:
        return "posters";
    }
    return "";
}

Quit quitOnce(const std::string& self, Case which, const fs::path& folder)
{
    int fds[2];
    if (::pipe(fds) != 0)
        std::exit(1);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        ::execl(self.c_str(), self.c_str(), "--child", caseName(which), folder.c_str(), fd.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::int64_t closing = 0;
    const bool reported = ::read(fds[0], &closing, sizeof closing) == static_cast<ssize_t>(sizeof closing);
    ::close(fds[0]);
    if (reported && which == Case::sigterm) {
        closing = monotonicNs();
        ::kill(child, SIGTERM);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const std::int64_t ended = monotonicNs();
    Quit quit;
    quit.ms = reported ? (ended - closing) / 1e6 : -1;
    bool partialLeft = false;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        partialLeft = partialLeft || entry.path().filename().string().find(".partial-") != std::string::npos;
    const int expected = which == Case::sigterm ? 128 + SIGTERM : 0;
    quit.clean = reported && WIFEXITED(status) && WEXITSTATUS(status) == expected && !partialLeft &&
                 readFile(folder / "master.mp4") == kOlderMovie;
    if (!quit.clean) {
        std::printf("  (status %d, partial movie left: %s, older movie %s)\n", status, partialLeft ? "yes" : "no",
                    readFile(folder / "master.mp4") == kOlderMovie ? "intact" : "changed");
    }
    return quit;
}

std::string loadAverage()
{
    std::string text = readFile("/proc/loadavg");
    return text.substr(0, text.find(' ', text.find(' ', text.find(' ') + 1) + 1));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0) {
        if (!std::getenv("QT_QPA_PLATFORM"))
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        int childArgc = 1;
        Case which = Case::outOfSight;
        for (const Case c : {Case::inView, Case::sigterm, Case::posters}) {
            if (std::strcmp(argv[2], caseName(c)) == 0)
                which = c;
        }
        return application(childArgc, argv, which, argv[3], std::atoi(argv[4]));
    }
    int runs = 5;
    fs::path folder = fs::temp_directory_path() / "velmora-bench-quit";
    std::vector<Case> cases = {Case::outOfSight, Case::inView, Case::sigterm, Case::posters};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--case") == 0 && i + 1 < argc) {
            const char* name = argv[++i];
            cases.clear();
            for (const Case c : {Case::outOfSight, Case::inView, Case::sigterm, Case::posters}) {
                if (std::strcmp(name, caseName(c)) == 0)
                    cases.push_back(c);
            }
            if (cases.empty())
                return fail("unknown case");
        } else {
            folder = argv[i];
        }
    }
    folder = fs::absolute(folder);
    makeFixtures(folder);
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    bool allClean = true;
    for (const Case which : cases) {
        std::vector<double> times;
        const char* titles[] = {"out of sight", "in view, \"Stop & Quit\"", "in view, SIGTERM",
                                "poster frames of 4K clips being decoded"};
        std::printf("%s, load %s before:\n", titles[static_cast<int>(which)], loadAverage().c_str());
        for (int i = 0; i < runs; ++i) {
            std::ofstream(folder / "master.mp4", std::ios::binary | std::ios::trunc) << kOlderMovie;
            const Quit quit = quitOnce(self, which, folder);
            allClean = allClean && quit.clean;
            times.push_back(quit.ms);
            std::printf("  quit %.0f ms%s\n", quit.ms, quit.clean ? "" : "  NOT CLEAN");
            std::fflush(stdout);
        }
        std::sort(times.begin(), times.end());
        std::printf("  median %.0f ms, worst %.0f ms, load %s after\n", times[times.size() / 2], times.back(),
                    loadAverage().c_str());
    }
    return allClean ? 0 : 1;
}
