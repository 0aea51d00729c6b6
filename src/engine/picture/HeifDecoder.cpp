// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/HeifDecoder.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <libheif/heif.h>

namespace rasterblatt {

namespace {

    using Context = std::unique_ptr<heif_context, decltype(&heif_context_free)>;
    using Handle = std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)>;
    using Image = std::unique_ptr<heif_image, decltype(&heif_image_release)>;

    QString reasonOf(const heif_error& error) { return QString::fromUtf8(error.message); }

    // The file's primary picture; null with the reason in error.
    Handle primaryOf(heif_context* context, const QByteArray& data, QString& error)
    {
        heif_error result = heif_context_read_from_memory_without_copy(
            context, data.constData(), static_cast<size_t>(data.size()), nullptr);
        heif_image_handle* handle = nullptr;
        if (result.code == heif_error_Ok)
            result = heif_context_get_primary_image_handle(context, &handle);
        if (result.code != heif_error_Ok)
            error = QStringLiteral("keine lesbare HEIF-Datei (%1)").arg(reasonOf(result));
        return Handle(handle, &heif_image_handle_release);
    }

    QSize sizeOf(const heif_image_handle* handle)
    {
        return QSize(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
    }

    QImage decodeNow(const QByteArray& data, const QSize& source, QString& error)
    {
        const Context context(heif_context_alloc(), &heif_context_free);
        // Pictures are decoded side by side already, one a core.
        heif_context_set_max_decoding_threads(context.get(), 0);
        Handle handle = primaryOf(context.get(), data, error);
        if (!handle)
            return {};
        // The thumbnail of that size, where the picture itself is not asked for.
        if (sizeOf(handle.get()) != source) {
            const int count = heif_image_handle_get_number_of_thumbnails(handle.get());
            std::vector<heif_item_id> ids(static_cast<size_t>(std::max(count, 0)));
            heif_image_handle_get_list_of_thumbnail_IDs(handle.get(), ids.data(), count);
            for (const heif_item_id id : ids) {
                heif_image_handle* thumbnail = nullptr;
                if (heif_image_handle_get_thumbnail(handle.get(), id, &thumbnail).code == heif_error_Ok) {
                    Handle owned(thumbnail, &heif_image_handle_release);
                    if (sizeOf(thumbnail) == source) {
                        handle = std::move(owned);
                        break;
                    }
                }
            }
        }
        heif_image* decoded = nullptr;
        const heif_error result
            = heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr);
        const Image image(decoded, &heif_image_release);
        if (result.code != heif_error_Ok) {
            error = QStringLiteral("beschädigt (%1)").arg(reasonOf(result));
            return {};
        }
        int stride = 0;
        const uint8_t* pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
        const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
        const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
        if (!pixels || width <= 0 || height <= 0) {
            error = QStringLiteral("beschädigt (keine Pixel)");
            return {};
        }
        QImage copy = QImage(pixels, width, height, stride, QImage::Format_RGB888).copy();
        if (copy.isNull())
            error = QStringLiteral("nicht genug Speicher");
        return copy;
    }

} // namespace

bool isHeif(const QByteArray& data)
{
    const heif_filetype_result type
        = heif_check_filetype(reinterpret_cast<const uint8_t*>(data.constData()), int(std::min<qsizetype>(data.size(), 64)));
    return type == heif_filetype_yes_supported || type == heif_filetype_yes_unsupported;
}

bool readHeifHeader(const QByteArray& data, HeifHeader& header, QString& error)
{
    const Context context(heif_context_alloc(), &heif_context_free);
    const Handle handle = primaryOf(context.get(), data, error);
    if (!handle)
        return false;
    header.size = sizeOf(handle.get());
    header.thumbnails.clear();
    const int count = heif_image_handle_get_number_of_thumbnails(handle.get());
    std::vector<heif_item_id> ids(static_cast<size_t>(std::max(count, 0)));
    heif_image_handle_get_list_of_thumbnail_IDs(handle.get(), ids.data(), count);
    for (const heif_item_id id : ids) {
        heif_image_handle* thumbnail = nullptr;
        if (heif_image_handle_get_thumbnail(handle.get(), id, &thumbnail).code == heif_error_Ok) {
            header.thumbnails << sizeOf(thumbnail);
            heif_image_handle_release(thumbnail);
        }
    }
    return true;
}

QSize heifSourceSize(const HeifHeader& header, const QSize& target)
{
    QSize source = header.size;
    for (const QSize& thumbnail : header.thumbnails) {
        const bool covers = thumbnail.width() >= target.width() && thumbnail.height() >= target.height();
        if (covers && qint64(thumbnail.width()) * thumbnail.height() < qint64(source.width()) * source.height())
            source = thumbnail;
    }
    return source;
}

QImage decodeHeif(const QByteArray& data, const HeifHeader& header, const QSize& target, qint64 seconds,
    std::shared_ptr<void> keepAlive, QString& error)
{
    struct Outcome {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        QImage image;
        QString error;
    };
    const auto outcome = std::make_shared<Outcome>();
    const QSize source = heifSourceSize(header, target);
    std::thread([outcome, data, source, keepAlive = std::move(keepAlive)] {
        QString reason;
        QImage image = decodeNow(data, source, reason);
        const std::lock_guard lock(outcome->mutex);
        outcome->image = std::move(image);
        outcome->error = reason;
        outcome->finished = true;
        outcome->done.notify_all();
    }).detach();
    std::unique_lock lock(outcome->mutex);
    if (!outcome->done.wait_for(lock, std::chrono::seconds(seconds), [&] { return outcome->finished; })) {
        error = QStringLiteral("das Decodieren dauert länger als %1 Sekunden").arg(seconds);
        return {};
    }
    error = outcome->error;
    return std::move(outcome->image);
}

} // namespace rasterblatt
