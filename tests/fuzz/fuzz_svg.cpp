// The content builder's SVG reader and renderer.
#include "svg_render.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);  // fonts for <text>
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const QImage image = svg::render(QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size)));
        if (image.isNull()) std::abort();
    } catch (const svg::Error&) {
    }
    return 0;
}
