// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The decode floor, the yardstick of the printing benchmarks: every photo decoded at 1/8
// scale by a bare libjpeg of its own, so that it does not move with the program's loader.

#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include <jpeglib.h>

#include <QElapsedTimer>
#include <QFile>
#include <QStringList>

namespace rasterblatt::bench {

// Decodes one JPEG at 1/8 scale (or that many eighths) with libjpeg into a reused buffer; false on failure.
inline bool decodeEighth(const QByteArray& file, std::vector<JSAMPLE>& pixels, unsigned int eighths = 1)
{
    jpeg_decompress_struct info {};
    struct Errors {
        jpeg_error_mgr manager;
        std::jmp_buf jump;
    } errors {};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit
        = [](j_common_ptr common) { std::longjmp(reinterpret_cast<Errors*>(common->err)->jump, 1); };
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(
        &info, reinterpret_cast<const unsigned char*>(file.constData()), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&info, TRUE);
    info.scale_num = eighths;
    info.scale_denom = 8;
    jpeg_start_decompress(&info);
    const size_t stride = size_t(info.output_width) * size_t(info.output_components);
    pixels.resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// Every file handed to decode, on the given number of threads taking the next one as they
// are free; the milliseconds it took.
inline double decodeEachMs(const QStringList& files, int threads, const std::function<bool(const QString&)>& decode)
{
    QElapsedTimer timer;
    timer.start();
    std::atomic<int> next = 0;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (int i = next++; i < files.size(); i = next++) {
                if (!decode(files[i]))
                    std::fprintf(stderr, "cannot decode %s\n", qPrintable(files[i]));
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// The decode floor: every photo read and decoded at 1/8 scale (or that many eighths), on the given number of threads.
inline double decodeFloorMs(const QStringList& photos, int threads, unsigned int eighths = 1)
{
    return decodeEachMs(photos, threads, [eighths](const QString& photo) {
        thread_local std::vector<JSAMPLE> pixels;
        QFile file(photo);
        return file.open(QIODevice::ReadOnly) && decodeEighth(file.readAll(), pixels, eighths);
    });
}

} // namespace rasterblatt::bench
