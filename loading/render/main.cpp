// veldar-render: draws a picture that the program does not decode itself (a
// WMF or EMF metafile, or any other kind Qt reads: SVG, TIFF, WebP, ICO,
// ...) and writes it to standard output (see renderprotocol.h), a page at a
// time, each as soon as it is drawn and, when asked, already fitted. The
// loader runs it for each such picture, so that a fault in a library that is
// not ours ends only this process, within the limits the loader sets.
//
//   veldar-render wmf|emf|picture|frames [--fit WxH] [--opacity] [--stored] [--page N] < file
#include "grob/prepare.h"
#include "picturelimits.h"
#include "render.h"
#include "renderprotocol.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include <malloc.h>
#include <unistd.h>

namespace {

// Out of memory anywhere (an allocation that fails, or Qt's bad_alloc):
// one line and the status that says so.
[[noreturn]] void NoMemory() {
    static const char text[] = "there is not enough memory to draw it\n";
    [[maybe_unused]] const ssize_t n = ::write(2, text, sizeof text - 1);
    ::_exit(render::kExitMemory);
}

// Standard input, up to one byte past the limit (so that a larger file is seen).
bool ReadInput(QByteArray& data) {
    const qint64 limit = loading::kMaxFileBytes + 1;
    qint64 got = 0;
    while (got < limit) {
        if (data.size() - got < 65536)
            data.resize(qsizetype(qMin(limit, qMax(got * 2, got + (1 << 20)))));
        const ssize_t n = ::read(0, data.data() + got, size_t(data.size() - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        got += n;
    }
    data.resize(qsizetype(got));
    data.squeeze();
    return true;
}

bool WriteOut(const void* bytes, std::size_t size) {
    const auto* at = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(1, at, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        size -= std::size_t(n);
    }
    return true;
}

struct Answering {
    grob::FitBox fit; // never enlarged
    bool opacity = false;
    bool upright = true; // turned by the orientation the picture records
};

// One picture: composed over white in its own place, fitted when asked
// (colours, then the transparency in the same place), written as one block.
int Send(QImage image, int delayMs, const Answering& how) {
    bool transparent = false;
    QImage composed = render::ComposeOverWhite(std::move(image), &transparent);
    if (composed.isNull()) return render::kExitMemory;
    const grob::PixelView view{reinterpret_cast<const std::uint32_t*>(composed.constBits()),
                               composed.width(), composed.height(), composed.bytesPerLine() / 4};
    int w = 0, h = 0;
    grob::FitSize(how.fit, view.width, view.height, w, h);
    const auto header = render::EncodeHeader({w, h, delayMs, transparent});
    if (!WriteOut(header.data(), header.size())) return render::kExitWrite;
    if (w == view.width && h == view.height) {
        for (int y = 0; y < h; ++y)
            if (!WriteOut(view.row(y), std::size_t(w) * 4)) return render::kExitWrite;
        return 0;
    }
    grob::MemoryRaster colours = grob::Fit(view, how.fit);
    grob::MemoryRaster clear; // the fitted gray of the transparency
    if (how.opacity && transparent) {
        for (int y = 0; y < view.height; ++y) {
            auto* line = reinterpret_cast<std::uint32_t*>(composed.scanLine(y));
            for (int x = 0; x < view.width; ++x)
                line[x] = (255u - (line[x] >> 24)) * 0x010101u;
        }
        clear = grob::Fit(view, how.fit);
    }
    std::vector<std::uint32_t> row(std::size_t(w), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint32_t opacity = clear.width() ? 255u - (clear.row(y)[x] & 255u) : 255u;
            row[std::size_t(x)] = (colours.row(y)[x] & 0xFFFFFFu) | opacity << 24;
        }
        if (!WriteOut(row.data(), row.size() * 4)) return render::kExitWrite;
    }
    return 0;
}

int Fail(const render::Rendered& failure) {
    std::fprintf(stderr, "%s\n", qPrintable(failure.error));
    return failure.outOfMemory ? render::kExitMemory : render::kExitFailure;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: veldar-render wmf|emf|picture|frames [--fit WxH] [--opacity] [--stored] "
                 "[--page N] < FILE\n");
    return render::kExitFailure;
}

} // namespace

int main(int argc, char** argv) {
    // One heap: the address space the loader allows is for pictures, not
    // for a reserve for every thread.
    mallopt(M_ARENA_MAX, 1);
    std::set_new_handler(NoMemory);
    std::set_terminate([] {
        if (const std::exception_ptr thrown = std::current_exception()) {
            try {
                std::rethrow_exception(thrown);
            } catch (const std::bad_alloc&) {
                NoMemory();
            } catch (...) {
            }
        }
        std::abort();
    });
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Only this program's own error line goes to the converter.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        render::EndWhenAThreadCannotStart(message);
    });
    const std::string kind = argc >= 2 ? argv[1] : "";
    if (kind != "wmf" && kind != "emf" && kind != "picture" && kind != "frames") return Usage();
    Answering how;
    int page = -1; // every page
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--opacity") == 0) {
            how.opacity = true;
        } else if (std::strcmp(argv[i], "--stored") == 0) {
            how.upright = false;
        } else if (std::strcmp(argv[i], "--page") == 0 && i + 1 < argc &&
                   std::sscanf(argv[++i], "%d", &page) == 1 && page >= 0) {
        } else if (std::strcmp(argv[i], "--fit") == 0 && i + 1 < argc &&
                   std::sscanf(argv[++i], "%dx%d", &how.fit.width, &how.fit.height) == 2 &&
                   how.fit.any()) {
        } else {
            return Usage();
        }
    }
    // A GUI application, offscreen: the fonts that SVG text and metafiles need.
    QGuiApplication app(argc, argv);

    QByteArray data;
    if (!ReadInput(data))
        return Fail(render::Rendered::Failure(QStringLiteral("the picture cannot be read")));
    if (data.size() > loading::kMaxFileBytes)
        return Fail(render::Rendered::Failure(QStringLiteral("the file is too large")));
    const qsizetype size = data.size();
    if (kind == "frames") {
        int status = 0;
        const render::Rendered failure = render::ReadFramesWithQt(
            data,
            [&](render::Rendered&& frame) {
                status = Send(std::move(frame.image), frame.delayMs, how);
                return status == 0;
            },
            how.upright, page);
        if (status == render::kExitMemory) return Fail(render::Rendered::NoMemory());
        if (status != 0) return status;
        return failure.error.isEmpty() ? 0 : Fail(failure);
    }
    render::Rendered result;
    if (kind == "picture") {
        result = render::ReadWithQt(data, how.upright);
    } else {
        data.append(QByteArray(render::kMargin, '\0'));
        result = kind == "wmf" ? render::RenderWmf(data, size) : render::RenderEmf(data, size);
    }
    data = QByteArray();
    if (!result.ok()) return Fail(result);
    const int status = Send(std::move(result.image), 0, how);
    return status == render::kExitMemory ? Fail(render::Rendered::NoMemory()) : status;
}
