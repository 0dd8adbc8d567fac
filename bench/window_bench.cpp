// The window's answer while the preview draws: 20 quick changes of a
// preview control (15 ms apart) for a 4000 x 3000 picture fitted to 131 x 64
// with Floyd-Steinberg, and for the same picture at "any size" 2000 x 1500;
// prints the longest stall of the event loop during the burst (goal: 16 ms)
// and the time from the last change to its preview on show (goal: 300 ms).
// Then the zoom: a 1024 x 512 picture as a 5-frame GROB with Floyd-Steinberg
// at natural size, the time from a change of contrast to its preview drawn
// on the screen, at zooms 1, 4 and 8 (goal: the zoom changes it by less
// than 2x).
//   QT_QPA_PLATFORM=offscreen build/bin/window_bench [ROUNDS]
#include "mainwindow.h"
#include "optionform.h"
#include "picturebox.h"
#include "previewwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

// The preview's control of an option, named as the options table names it.
#define CONTROL(preview, name) ((*(preview)->options)[grob::Option(name)])
namespace {

void Wait(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

struct Figures {
    qint64 stall;
    qint64 latency;
};

// `change` makes one change of a control.
template <typename Change> Figures Burst(PreviewWindow* preview, Change change) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0, changed = 0, shownAt = -1;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    const auto connection =
        QObject::connect(preview, &PreviewWindow::shown, [&] { shownAt = clock.elapsed(); });
    probe.start(1);
    for (int step = 1; step <= 20; ++step) {
        change();
        changed = clock.elapsed();
        Wait(15);
    }
    while (preview->busy() || shownAt < changed)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    probe.stop();
    QObject::disconnect(connection);
    return {longest, shownAt - changed};
}

// From a change of contrast to its preview painted, at the zoom set now.
qint64 TimeToNewPreview(PreviewWindow* preview) {
    bool shown = false;
    const auto connection = QObject::connect(preview, &PreviewWindow::shown, [&] { shown = true; });
    QElapsedTimer clock;
    clock.start();
    CONTROL(preview, "contrast")
        .number->setValue(CONTROL(preview, "contrast").number->value() == 1 ? 2 : 1);
    while (!shown || preview->busy())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    preview->repaint(); // what is on the screen, painted now
    QObject::disconnect(connection);
    return clock.elapsed();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    QImage photo(4000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(x, y, qRgb((x / 7) % 256, (y / 5) % 256, (x ^ y) % 256));
    photo.save(dir.filePath("photo.bmp"));

    MainWindow::Options options{{}, dir.filePath("ORBEX.ini")};
    MainWindow window(options);
    window.show();
    window.loadPicture(dir.filePath("photo.bmp"));
    window.menuItem(MenuArray::Preview, 2)->trigger();
    PreviewWindow* preview = window.previewWindow();
    CONTROL(preview, "dither").list->setCurrentIndex(1); // Floyd-Steinberg
    const auto contrast = [&] {
        CONTROL(preview, "contrast")
            .number->setValue(CONTROL(preview, "contrast").number->value() == 1 ? 2 : 1);
    };
    const auto fit = [&] {
        CONTROL(preview, "fit")
            .list->setCurrentIndex(CONTROL(preview, "fit").list->currentIndex() == 1 ? 2 : 1);
    };
    for (const int scenario : {0, 1, 2}) {
        const bool any = scenario == 2;
        CONTROL(preview, "fit").list->setCurrentIndex(any ? 3 : 1);
        CONTROL(preview, "fit").width->setValue(2000);
        CONTROL(preview, "fit").height->setValue(1500);
        preview->zoom->setValue(any ? 1 : 2);
        Wait(2000);
        std::vector<qint64> stalls, latencies;
        for (int round = 0; round < rounds; ++round) {
            const Figures figures = scenario == 1 ? Burst(preview, fit) : Burst(preview, contrast);
            stalls.push_back(figures.stall);
            latencies.push_back(figures.latency);
        }
        std::sort(stalls.begin(), stalls.end());
        std::sort(latencies.begin(), latencies.end());
        std::printf(
            "%-36s longest stall %3lld ms (median of %d), last change to its preview %4lld ms\n",
            scenario == 0   ? "4000 x 3000 at 131 x 64, contrast:"
            : scenario == 1 ? "4000 x 3000, 131 x 64 <-> 131 x 80:"
                            : "4000 x 3000 at 2000 x 1500, contrast:",
            static_cast<long long>(stalls[stalls.size() / 2]), rounds,
            static_cast<long long>(latencies[latencies.size() / 2]));
    }

    // The zoom's share of the time to a new preview.
    QImage wide(1024, 512, QImage::Format_RGB32);
    for (int y = 0; y < wide.height(); ++y)
        for (int x = 0; x < wide.width(); ++x)
            wide.setPixel(x, y, qRgb(x / 4, (y / 2 + x / 8) % 256, (x * y / 64) % 256));
    wide.save(dir.filePath("wide.png"));
    window.loadPicture(dir.filePath("wide.png"));
    preview->resize(900, 700);
    CONTROL(preview, "kind")
        .list->setCurrentIndex(CONTROL(preview, "kind").list->findData(QStringLiteral("g32")));
    CONTROL(preview, "fit").list->setCurrentIndex(0); // natural size
    CONTROL(preview, "dither").list->setCurrentIndex(1);
    for (const int zoom : {1, 4, 8}) {
        preview->zoom->setValue(zoom);
        Wait(500);
        TimeToNewPreview(preview); // settled
        std::vector<qint64> times;
        for (int round = 0; round < rounds; ++round)
            times.push_back(TimeToNewPreview(preview));
        std::sort(times.begin(), times.end());
        std::printf("1024 x 512 as g32, Floyd-Steinberg, zoom %d: change to its preview painted "
                    "%4lld ms (median of %d)\n",
                    zoom, static_cast<long long>(times[times.size() / 2]), rounds);
    }
    return 0;
}
