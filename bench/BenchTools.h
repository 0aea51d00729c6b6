// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the benchmarks share: photo-like pictures drawn at run time (so that no large file
// is kept), medians of repeated timings, the process's peak memory, and programs run in a
// fresh process with their time and peak memory.

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QStringList>
#include <QThread>

namespace rasterblatt::bench {

// A sky-to-ground gradient, soft blobs, hard edges and sensor noise, so that the file
// compresses and decodes like a photo (a few megabytes for 12 megapixels).
inline QImage photoLike(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(90, 140, 210));
    sky.setColorAt(0.55, QColor(220, 225, 230));
    sky.setColorAt(0.6, QColor(80, 110, 60));
    sky.setColorAt(1, QColor(50, 40, 30));
    painter.fillRect(image.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 80; ++i) {
        const QPointF centre(random.bounded(width), random.bounded(height));
        const qreal radius = width / 60.0 + random.bounded(width / 8.0);
        QRadialGradient blob(centre, radius);
        blob.setColorAt(0, QColor::fromRgb(random.bounded(256), random.bounded(256), random.bounded(256), 200));
        blob.setColorAt(1, Qt::transparent);
        painter.setBrush(blob);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(centre, radius, radius);
    }
    for (int i = 0; i < 300; ++i) {
        painter.setPen(QPen(
            QColor::fromRgb(random.bounded(256), random.bounded(256), random.bounded(256)), 1 + random.bounded(6)));
        painter.drawLine(QPointF(random.bounded(width), random.bounded(height)),
            QPointF(random.bounded(width), random.bounded(height)));
    }
    painter.end();

    quint32 state = seed | 1;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int noise = static_cast<int>(state % 13) - 6;
            const QRgb rgb = line[x];
            line[x] = qRgb(qBound(0, qRed(rgb) + noise, 255), qBound(0, qGreen(rgb) + noise, 255),
                qBound(0, qBlue(rgb) + noise, 255));
        }
    }
    return image;
}

// The median of runs timings of measured, in milliseconds; setUp runs untimed before each.
inline double medianMs(int runs, const std::function<void()>& measured, const std::function<void()>& setUp = {})
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        if (setUp)
            setUp();
        QElapsedTimer timer;
        timer.start();
        measured();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The process's peak resident memory so far (VmHWM) in kilobytes, -1 when unknown.
inline qint64 peakResidentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Writes count photo-like pictures of width x height, one thread per core; name(i) is the
// path of picture i, write(image, path) stores it. False when one could not be written.
inline bool writePhotos(int count, int width, int height, const std::function<QString(int)>& name,
    const std::function<bool(const QImage&, const QString&)>& write)
{
    const int threads = std::max(1, QThread::idealThreadCount());
    std::vector<std::thread> workers;
    std::vector<int> failed(static_cast<size_t>(threads), 0);
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = t; i < count; i += threads) {
                if (!write(photoLike(width, height, static_cast<quint32>(i + 1)), name(i)))
                    failed[static_cast<size_t>(t)] = 1;
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    return std::count(failed.begin(), failed.end(), 1) == 0;
}

inline double megabytes(qint64 kilobytes) { return static_cast<double>(kilobytes) / 1024; }

inline double cpuMs(const rusage& usage)
{
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Measured {
    std::vector<double> ms;
    std::vector<double> cpuMs;
    std::vector<double> peakKilobytes;
    void add(double wallMs, double processorMs, double peak)
    {
        ms.push_back(wallMs);
        cpuMs.push_back(processorMs);
        peakKilobytes.push_back(peak);
    }
};

struct Finished {
    bool ok = false; // exited with status 0
    double ms = 0;
    double cpuMs = 0;
    qint64 peakKilobytes = 0;
    QByteArray output;
    QByteArray errors;
};

// Runs a program to its end, standard output and error going to files in scratch. Its peak memory comes from wait4();
// the high-water mark is reset before exec, as a forked child would otherwise inherit ours.
inline Finished runProgram(const QStringList& command, const QString& scratch)
{
    Finished result;
    const QString outPath = scratch + QStringLiteral("/stdout");
    const QString errPath = scratch + QStringLiteral("/stderr");
    std::vector<QByteArray> arguments;
    for (const QString& argument : command)
        arguments.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int out = ::open(QFile::encodeName(outPath).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = ::open(QFile::encodeName(errPath).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0 || err < 0) {
        result.errors = "cannot create the output files in " + QFile::encodeName(scratch);
        return result;
    }

    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        const int clearRefs = ::open("/proc/self/clear_refs", O_WRONLY);
        if (clearRefs >= 0) {
            [[maybe_unused]] const auto written = ::write(clearRefs, "5", 1);
            ::close(clearRefs);
        }
        ::execvp(argv[0], argv.data());
        _exit(127);
    }
    ::close(out);
    ::close(err);
    if (pid < 0) {
        result.errors = "fork failed";
        return result;
    }
    int status = 0;
    rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) { }
    result.ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    result.cpuMs = cpuMs(usage);
    result.peakKilobytes = usage.ru_maxrss;

    QFile outFile(outPath);
    if (outFile.open(QIODevice::ReadOnly))
        result.output = outFile.readAll();
    QFile errFile(errPath);
    if (errFile.open(QIODevice::ReadOnly))
        result.errors = errFile.readAll();
    return result;
}

} // namespace rasterblatt::bench
