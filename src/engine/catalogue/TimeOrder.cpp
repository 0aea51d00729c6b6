// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/catalogue/TimeOrder.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <numeric>
#include <vector>

#include <sys/stat.h>

#include "engine/catalogue/Directory.h"
#include "engine/catalogue/NativePath.h"
#include "engine/picture/DecodeAhead.h"
#include "engine/picture/Metadata.h"

namespace rasterblatt {

QDateTime shotTime(const QString& path)
{
    const QDateTime captured = readHeadMetadata(path).captureTime;
    if (captured.isValid())
        return captured;
    // By its bytes: a name that is not UTF-8 still has its time.
    struct stat info { };
    if (::stat(nativePath(path).constData(), &info) != 0)
        return {};
    return QDateTime::fromMSecsSinceEpoch(qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000);
}

QStringList orderByShotTime(
    const QString& folder, const QStringList& names, const std::function<QDateTime(const QString&)>& timeOf)
{
    if (names.size() < 2)
        return names;
    // Shared with the workers: one that starts after the caller has returned finds nothing to do.
    struct Work {
        QStringList paths;
        std::function<QDateTime(const QString&)> timeOf;
        std::vector<qint64> times;
        std::atomic<qsizetype> next { 0 };
        std::mutex mutex;
        std::condition_variable allRead;
        qsizetype read = 0;

        void run()
        {
            for (qsizetype i; (i = next++) < paths.size();) {
                const QDateTime time = timeOf(paths[i]);
                times[size_t(i)] = time.isValid() ? time.toMSecsSinceEpoch() : 0;
                const std::lock_guard lock(mutex);
                if (++read == paths.size())
                    allRead.notify_all();
            }
        }
    };
    auto work = std::make_shared<Work>();
    for (const QString& name : names)
        work->paths << joinPath(folder, name);
    work->timeOf = timeOf;
    work->times.resize(size_t(names.size()));
    const int helpers = std::min<int>(decodeThreads(), int(names.size()) - 1);
    for (int i = 0; i < helpers; ++i)
        decodePool().start([work] { work->run(); });
    work->run();
    {
        std::unique_lock lock(work->mutex);
        work->allRead.wait(lock, [&] { return work->read == work->paths.size(); });
    }

    std::vector<qsizetype> order(size_t(names.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
        [&](qsizetype a, qsizetype b) { return work->times[size_t(a)] < work->times[size_t(b)]; });
    QStringList ordered;
    ordered.reserve(names.size());
    for (const qsizetype i : order)
        ordered << names[i];
    return ordered;
}

} // namespace rasterblatt
