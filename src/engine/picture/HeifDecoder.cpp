// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/HeifDecoder.h"

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include <libheif/heif.h>

#include <QCoreApplication>
#include <QtEndian>

namespace rasterblatt {

namespace {

    using Context = std::unique_ptr<heif_context, decltype(&heif_context_free)>;
    using Handle = std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)>;
    using Image = std::unique_ptr<heif_image, decltype(&heif_image_release)>;

    QString reasonOf(const heif_error& error) { return QString::fromUtf8(error.message); }

    // How much a grid's canvas may exceed the picture's larger side (tiles overhang it by less).
    constexpr int CanvasSlack = 64;

    // A box of the file: its type and where its content lies.
    struct Box {
        quint32 type = 0;
        qsizetype begin = 0, end = 0;
    };
    constexpr quint32 fourcc(const char (&name)[5])
    {
        return quint32(uchar(name[0])) << 24 | uchar(name[1]) << 16 | uchar(name[2]) << 8 | uchar(name[3]);
    }

    // Big-endian fields read within [at, end); ok turns false on reading past it.
    struct Fields {
        const QByteArray& data;
        qsizetype at, end;
        bool ok = true;
        quint64 next(int bytes)
        {
            quint64 value = 0;
            ok = ok && bytes <= end - at;
            for (int i = 0; ok && i < bytes; ++i)
                value = value << 8 | uchar(data[at++]);
            return ok ? value : 0;
        }
    };

    // The boxes within [from, to); cut when the last one reaches beyond.
    QList<Box> boxesIn(const QByteArray& data, qsizetype from, qsizetype to, bool* cut = nullptr)
    {
        QList<Box> boxes;
        Fields fields { data, from, to };
        while (fields.at + 8 <= to) {
            const qsizetype start = fields.at;
            quint64 size = fields.next(4);
            const auto type = quint32(fields.next(4));
            if (size == 1)
                size = fields.next(8);
            else if (size == 0)
                size = quint64(to - start);
            if (!fields.ok || size < quint64(fields.at - start) || size > quint64(to - start)) {
                if (cut)
                    *cut = true;
                break;
            }
            boxes.append({ type, fields.at, start + qsizetype(size) });
            fields.at = start + qsizetype(size);
        }
        return boxes;
    }

    Box childOf(const QByteArray& data, const Box& parent, quint32 type, qsizetype skip = 0)
    {
        for (const Box& box : boxesIn(data, parent.begin + skip, parent.end))
            if (box.type == type)
                return box;
        return {};
    }

    // The picture size an HEVC sequence parameter set codes (its NAL unit without the length);
    // an unreadable one counts as too large.
    QSize codedSize(const QByteArray& nal)
    {
        QByteArray rbsp; // without the NAL header and the emulation prevention bytes
        for (qsizetype i = 2, zeros = 0; i < nal.size(); ++i) {
            if (zeros >= 2 && nal[i] == 3) {
                zeros = 0;
                continue;
            }
            zeros = nal[i] == 0 ? zeros + 1 : 0;
            rbsp += nal[i];
        }
        qint64 bit = 0;
        bool ok = true;
        const auto bits = [&](int count) {
            quint64 value = 0;
            for (; count > 0 && (ok = ok && bit < rbsp.size() * 8); --count, ++bit)
                value = value << 1 | ((uchar(rbsp[bit / 8]) >> (7 - bit % 8)) & 1);
            return value;
        };
        const auto golomb = [&] {
            int zeros = 0;
            while (ok && bits(1) == 0 && ++zeros < 32) { }
            return (quint64(1) << zeros) - 1 + bits(zeros);
        };
        bits(4); // video parameter set
        const int subLayers = int(bits(3));
        bits(1 + 96); // temporal nesting, general profile, tier and level
        quint64 present = bits(2 * subLayers);
        if (subLayers > 0)
            bits(2 * (8 - subLayers));
        for (int i = subLayers - 1; i >= 0; --i, present >>= 2)
            bits((present & 2 ? 88 : 0) + (present & 1 ? 8 : 0));
        golomb(); // its own id
        if (golomb() == 3)
            bits(1); // separate colour planes
        const quint64 width = golomb(), height = golomb();
        return ok ? QSize(int(std::min<quint64>(width, INT_MAX)), int(std::min<quint64>(height, INT_MAX)))
                  : QSize(INT_MAX, INT_MAX);
    }

    // Looks at the file before libheif parses it: libheif's parse takes time with the square of
    // the items, and it decodes each picture at the size its HEVC parameters code, while the
    // memory for it is reckoned from the size its ispe box claims. False with the reason in error.
    bool inspect(const QByteArray& data, bool& canvas, Error& error)
    {
        bool cut = false;
        Box meta;
        for (const Box& box : boxesIn(data, 0, data.size(), &cut))
            meta = box.type == fourcc("meta") ? box : meta;
        if (!meta.type) {
            if (cut)
                error = Error(Error::Kind::CutOff);
            return !cut; // without its metadata libheif says what is wrong
        }
        const Box iinf = childOf(data, meta, fourcc("iinf"), 4), properties = childOf(data, meta, fourcc("iprp"), 4);
        const Box ipcoBox = childOf(data, properties, fourcc("ipco")),
                  ipmaBox = childOf(data, properties, fourcc("ipma"));
        Fields count { data, iinf.begin, iinf.end };
        const quint64 items = count.next(1) == 0 ? (count.next(3), count.next(2)) : (count.next(3), count.next(4));
        // Grids and overlays are put together on a canvas of the size their own data gives.
        for (const Box& infe : boxesIn(data, count.at, iinf.end)) {
            Fields fields { data, infe.begin, infe.end };
            const quint64 version = fields.next(1);
            fields.next(version >= 3 ? 9 : 7);
            const auto type = quint32(fields.next(4));
            canvas = canvas || (version >= 2 && (type == fourcc("grid") || type == fourcc("iovl")));
        }
        const QList<Box> ipco = boxesIn(data, ipcoBox.begin, ipcoBox.end);
        Fields ipma { data, ipmaBox.begin, ipmaBox.end };
        const quint64 version = ipma.next(1), flags = ipma.next(3), entries = ipma.next(4);
        if (std::max(items, entries) > quint64(MaxHeifItems)) {
            error = Error(Error::Kind::TooManyItems, { QString::number(std::max(items, entries)) });
            return false;
        }
        for (quint64 entry = 0; entry < entries && ipma.ok; ++entry) {
            ipma.next(version < 1 ? 2 : 4); // the item
            QSize claimed, coded;
            for (quint64 association = ipma.next(1); association > 0; --association) {
                const quint64 index = ipma.next(flags & 1 ? 2 : 1) & (flags & 1 ? 0x7fff : 0x7f);
                const Box property = index > 0 && index <= quint64(ipco.size()) ? ipco[qsizetype(index) - 1] : Box();
                Fields fields { data, property.begin, property.end };
                if (property.type == fourcc("ispe")) {
                    fields.next(4);
                    const quint64 width = fields.next(4);
                    claimed = QSize(int(width & INT_MAX), int(fields.next(4) & INT_MAX));
                } else if (property.type == fourcc("hvcC")) {
                    fields.next(22);
                    for (quint64 arrays = fields.next(1); arrays > 0 && fields.ok; --arrays) {
                        fields.next(1);
                        for (quint64 units = fields.next(2); units > 0 && fields.ok; --units) {
                            const auto length = qsizetype(fields.next(2));
                            const QByteArray nal = data.mid(fields.at, std::min(length, fields.end - fields.at));
                            if (fields.ok && nal.size() == length && nal.size() > 2
                                && (uchar(nal[0]) >> 1 & 0x3f) == 33)
                                coded = coded.expandedTo(codedSize(nal));
                            fields.at += nal.size();
                        }
                    }
                    coded = fields.ok ? coded : QSize(INT_MAX, INT_MAX);
                }
            }
            // HEVC codes whole blocks of at most 64 pixels; libheif writes the ispe of a turned picture turned.
            const auto within = [&](const QSize& size) {
                return coded.width() <= (qint64(size.width()) + 63) / 64 * 64
                    && coded.height() <= (qint64(size.height()) + 63) / 64 * 64;
            };
            if (!within(claimed) && !within(claimed.transposed())) {
                error = Error(Error::Kind::DamagedLargerThanSaid);
                return false;
            }
        }
        if (!ipma.ok || !count.ok)
            error = Error(Error::Kind::DamagedMetadata);
        return ipma.ok && count.ok;
    }

    // Decodes past their time run on after their loader has gone. The process's end waits for
    // them, before libheif and the memory budget they use are destroyed: for at most
    // ExitWaitSeconds, then it ends at once, destroying nothing.
    class RunningDecodes {
    public:
        static constexpr int ExitWaitSeconds = 30;
        static RunningDecodes& process()
        {
            static RunningDecodes decodes;
            return decodes;
        }
        void add()
        {
            const std::lock_guard lock(m_mutex);
            ++m_running;
        }
        void remove()
        {
            const std::lock_guard lock(m_mutex);
            --m_running;
            m_ended.notify_all();
        }
        // At the application's end, and again, should a decode have started since, at the process's.
        void waitForAll()
        {
            std::unique_lock lock(m_mutex);
            if (!m_ended.wait_for(lock, std::chrono::seconds(ExitWaitSeconds), [this] { return m_running == 0; })) {
                std::fflush(nullptr);
                std::_Exit(EXIT_FAILURE);
            }
        }
        ~RunningDecodes() { waitForAll(); }

    private:
        RunningDecodes()
        {
            qAddPostRoutine([] { RunningDecodes::process().waitForAll(); });
        }
        std::mutex m_mutex;
        std::condition_variable m_ended;
        int m_running = 0;
    };

    // The file's primary picture; null with the reason in error.
    Handle primaryOf(heif_context* context, const QByteArray& data, Error& error)
    {
        heif_error result = heif_context_read_from_memory_without_copy(
            context, data.constData(), static_cast<size_t>(data.size()), nullptr);
        heif_image_handle* handle = nullptr;
        if (result.code == heif_error_Ok)
            result = heif_context_get_primary_image_handle(context, &handle);
        if (result.code != heif_error_Ok)
            error = Error(Error::Kind::NotHeif, { reasonOf(result) });
        return Handle(handle, &heif_image_handle_release);
    }

    QSize sizeOf(const heif_image_handle* handle)
    {
        return QSize(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
    }

    // The thumbnails the file stores for its primary picture.
    std::vector<Handle> thumbnailsOf(const heif_image_handle* primary)
    {
        const int count = heif_image_handle_get_number_of_thumbnails(primary);
        std::vector<heif_item_id> ids(static_cast<size_t>(std::max(count, 0)));
        heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
        std::vector<Handle> thumbnails;
        for (const heif_item_id id : ids) {
            heif_image_handle* thumbnail = nullptr;
            if (heif_image_handle_get_thumbnail(primary, id, &thumbnail).code == heif_error_Ok)
                thumbnails.emplace_back(thumbnail, &heif_image_handle_release);
        }
        return thumbnails;
    }

    // Its ICC profile where it has one, else the numbers of its nclx box.
    PictureColour colourOf(const heif_image_handle* handle)
    {
        if (const size_t size = heif_image_handle_get_raw_color_profile_size(handle); size > 0) {
            QByteArray icc(static_cast<qsizetype>(size), Qt::Uninitialized);
            if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok)
                return PictureColour::fromIcc(icc);
        }
        PictureColour colour;
        heif_color_profile_nclx* nclx = nullptr;
        if (heif_image_handle_get_color_profile_type(handle) == heif_color_profile_type_nclx
            && heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok && nclx) {
            // Primaries left unspecified (2) are taken as sRGB's.
            if (nclx->color_primaries != 2)
                colour = { PictureColour::Kind::Coded, {}, nclx->color_primaries, nclx->transfer_characteristics };
            heif_nclx_color_profile_free(nclx);
        }
        return colour;
    }

    // The YCbCr-to-RGB factors for the picture's matrix as libheif takes them (BT.601 and the
    // full range where the file names none).
    struct Conversion {
        float rCr, gCb, gCr, bCb;
        bool fullRange = true;
    };
    Conversion conversionOf(const heif_image_handle* handle)
    {
        float kr = 0.299f, kb = 0.114f;
        bool fullRange = true;
        heif_color_profile_nclx* nclx = nullptr;
        if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok && nclx) {
            fullRange = nclx->full_range_flag != 0;
            if (nclx->matrix_coefficients == heif_matrix_coefficients_ITU_R_BT_709_5)
                kr = 0.2126f, kb = 0.0722f;
            else if (nclx->matrix_coefficients == heif_matrix_coefficients_ITU_R_BT_2020_2_non_constant_luminance
                || nclx->matrix_coefficients == heif_matrix_coefficients_ITU_R_BT_2020_2_constant_luminance)
                kr = 0.2627f, kb = 0.0593f;
            heif_nclx_color_profile_free(nclx);
        }
        const float kg = 1 - kr - kb;
        return { 2 * (1 - kr), -2 * kb * (1 - kb) / kg, -2 * kr * (1 - kr) / kg, 2 * (1 - kb), fullRange };
    }

    // The decoded 8-bit YCbCr 4:2:0 planes shrunk to target (at most their own size) by averaging
    // each output pixel's area, and converted to RGB: no full-size RGB copy is ever made.
    QImage shrink(const heif_image* image, const QSize& target, const Conversion& conversion)
    {
        const int width = heif_image_get_width(image, heif_channel_Y);
        const int height = heif_image_get_height(image, heif_channel_Y);
        int strides[3] = {};
        const uint8_t* planes[3] = { heif_image_get_plane_readonly(image, heif_channel_Y, &strides[0]),
            heif_image_get_plane_readonly(image, heif_channel_Cb, &strides[1]),
            heif_image_get_plane_readonly(image, heif_channel_Cr, &strides[2]) };
        const QSize size = target.boundedTo(QSize(width, height));
        if (!planes[0] || !planes[1] || !planes[2] || size.isEmpty())
            return {};
        QImage out(size, QImage::Format_RGB32);
        if (out.isNull())
            return out;
        const auto edges = [](int from, int to) {
            std::vector<int> edge(static_cast<size_t>(to) + 1);
            for (int i = 0; i <= to; ++i)
                edge[size_t(i)] = int(qint64(i) * from / to);
            return edge;
        };
        const std::vector<int> columns = edges(width, size.width()), rows = edges(height, size.height());
        // Luma from black to white and chroma from its middle, each to one.
        const float yOffset = conversion.fullRange ? 0 : 16, yRange = conversion.fullRange ? 255 : 219;
        const float cRange = conversion.fullRange ? 255 : 224;
        std::vector<quint64> sums(size_t(size.width()) * 3);
        for (int oy = 0; oy < size.height(); ++oy) {
            std::fill(sums.begin(), sums.end(), 0);
            for (int y = rows[size_t(oy)]; y < rows[size_t(oy) + 1]; ++y) {
                const uint8_t* luma = planes[0] + qint64(y) * strides[0];
                const uint8_t* cb = planes[1] + qint64(y / 2) * strides[1];
                const uint8_t* cr = planes[2] + qint64(y / 2) * strides[2];
                for (int ox = 0; ox < size.width(); ++ox) {
                    quint64 sy = 0, scb = 0, scr = 0;
                    for (int x = columns[size_t(ox)]; x < columns[size_t(ox) + 1]; ++x)
                        sy += luma[x], scb += cb[x / 2], scr += cr[x / 2];
                    sums[size_t(ox) * 3] += sy;
                    sums[size_t(ox) * 3 + 1] += scb;
                    sums[size_t(ox) * 3 + 2] += scr;
                }
            }
            auto* pixel = reinterpret_cast<QRgb*>(out.scanLine(oy));
            const int boxHeight = rows[size_t(oy) + 1] - rows[size_t(oy)];
            for (int ox = 0; ox < size.width(); ++ox) {
                const float count = float(boxHeight * (columns[size_t(ox) + 1] - columns[size_t(ox)]));
                const float y = (float(sums[size_t(ox) * 3]) / count - yOffset) / yRange;
                const float cb = (float(sums[size_t(ox) * 3 + 1]) / count - 128) / cRange;
                const float cr = (float(sums[size_t(ox) * 3 + 2]) / count - 128) / cRange;
                const auto channel = [](float value) { return qBound(0, int(value * 255 + 0.5f), 255); };
                pixel[ox] = qRgb(channel(y + conversion.rCr * cr),
                    channel(y + conversion.gCb * cb + conversion.gCr * cr), channel(y + conversion.bCb * cb));
            }
        }
        return out;
    }

    QImage copyOf(const heif_image* image)
    {
        int stride = 0;
        const uint8_t* pixels = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        const int width = heif_image_get_width(image, heif_channel_interleaved);
        const int height = heif_image_get_height(image, heif_channel_interleaved);
        if (!pixels || width <= 0 || height <= 0)
            return {};
        return QImage(pixels, width, height, stride, QImage::Format_RGB888).copy();
    }

    // What libheif decoded in spite of damage (data that stops short), as the reason.
    Error damageOf(heif_image* image)
    {
        heif_error warning {};
        if (heif_image_get_decoding_warnings(image, 0, &warning, 1) < 1)
            return {};
        return Error(Error::Kind::Damaged, { reasonOf(warning) });
    }

    // The picture at source (the primary picture or a thumbnail of that size) decoded and shrunk
    // to target; a picture libheif gives as RGB only comes at its own size.
    QImage decodeNow(const QByteArray& data, const QSize& source, const QSize& target, Error& error, Error& damage)
    {
        const Context context(heif_context_alloc(), &heif_context_free);
        // Pictures are decoded side by side already, one a core.
        heif_context_set_max_decoding_threads(context.get(), 0);
        Handle handle = primaryOf(context.get(), data, error);
        if (!handle)
            return {};
        // The thumbnail of that size, where the picture itself is not asked for.
        if (sizeOf(handle.get()) != source) {
            for (Handle& thumbnail : thumbnailsOf(handle.get())) {
                if (sizeOf(thumbnail.get()) == source) {
                    handle = std::move(thumbnail);
                    break;
                }
            }
        }
        // A grid's canvas comes from its own data, which libheif checks against this limit only:
        // at most the picture's larger side (and some) each way, as heifDecodeMemory reckons.
        heif_context_set_maximum_image_size_limit(
            context.get(), std::max(source.width(), source.height()) + CanvasSlack);
        // As YCbCr 4:2:0 at 8 bits, as photos are coded, so that libheif makes no RGB copy of the
        // whole picture; where that fails, as RGB.
        const std::unique_ptr<heif_decoding_options, decltype(&heif_decoding_options_free)> options(
            heif_decoding_options_alloc(), &heif_decoding_options_free);
        options->convert_hdr_to_8bit = 1;
        heif_image* decoded = nullptr;
        heif_error result
            = heif_decode_image(handle.get(), &decoded, heif_colorspace_YCbCr, heif_chroma_420, options.get());
        Image image(decoded, &heif_image_release);
        if (result.code == heif_error_Ok && heif_image_get_chroma_format(image.get()) == heif_chroma_420
            && heif_image_get_bits_per_pixel_range(image.get(), heif_channel_Y) == 8) {
            QImage shrunk = shrink(image.get(), target, conversionOf(handle.get()));
            damage = damageOf(image.get());
            if (shrunk.isNull())
                error = Error(Error::Kind::DamagedNoPixels);
            return shrunk;
        }
        image.reset();
        result = heif_decode_image(
            handle.get(), &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGB, options.get());
        image.reset(decoded);
        if (result.code != heif_error_Ok) {
            error = Error(Error::Kind::Damaged, { reasonOf(result) });
            return {};
        }
        QImage copy = copyOf(image.get());
        damage = damageOf(image.get());
        if (copy.isNull())
            error = Error(Error::Kind::DamagedNoPixels);
        return copy;
    }

} // namespace

bool isHeif(const QByteArray& data)
{
    const heif_filetype_result type = heif_check_filetype(
        reinterpret_cast<const uint8_t*>(data.constData()), int(std::min<qsizetype>(data.size(), 64)));
    return type == heif_filetype_yes_supported || type == heif_filetype_yes_unsupported;
}

bool readHeifHeader(const QByteArray& data, HeifHeader& header, Error& error)
{
    header.canvas = false;
    if (!inspect(data, header.canvas, error))
        return false;
    const Context context(heif_context_alloc(), &heif_context_free);
    const Handle handle = primaryOf(context.get(), data, error);
    if (!handle)
        return false;
    header.size = sizeOf(handle.get());
    header.colour = colourOf(handle.get());
    header.deep = heif_image_handle_get_luma_bits_per_pixel(handle.get()) > 8;
    header.thumbnails.clear();
    for (const Handle& thumbnail : thumbnailsOf(handle.get()))
        header.thumbnails << sizeOf(thumbnail.get());
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

qint64 heifDecodeMemory(const HeifHeader& header, const QSize& target)
{
    // The decoder's planes and tables, libheif's RGB copy and its conversion back: measured at
    // under five bytes a pixel for 8 bits a sample, fifteen for 10 bits.
    const QSize source = heifSourceSize(header, target);
    const qint64 side = std::max(source.width(), source.height()) + CanvasSlack;
    return (header.deep ? 16 : 8) * (header.canvas ? side * side : qint64(source.width()) * source.height());
}

QImage decodeHeif(const QByteArray& data, const HeifHeader& header, const QSize& target, qint64 seconds,
    std::shared_ptr<void> keepAlive, Error& error, Error* damage)
{
    struct Outcome {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        QImage image;
        Error error;
        Error damage;
    };
    auto outcome = std::make_shared<Outcome>();
    const QSize source = heifSourceSize(header, target);
    RunningDecodes& running = RunningDecodes::process();
    running.add();
    std::thread([outcome, data = QByteArray(data), source, target, keepAlive = std::move(keepAlive),
                    &running]() mutable {
        Error reason, damage;
        QImage image = decodeNow(data, source, target, reason, damage);
        {
            const std::lock_guard lock(outcome->mutex);
            outcome->image = std::move(image);
            outcome->error = reason;
            outcome->damage = damage;
            outcome->finished = true;
            outcome->done.notify_all();
        }
        // Everything it holds goes before the process's end may go on.
        outcome.reset();
        data = QByteArray();
        keepAlive.reset();
        running.remove();
    }).detach();
    std::unique_lock lock(outcome->mutex);
    if (!outcome->done.wait_for(lock, std::chrono::seconds(seconds), [&] { return outcome->finished; })) {
        error = Error(Error::Kind::DecodeTimeout, { QString::number(seconds) });
        return {};
    }
    error = outcome->error;
    if (damage)
        *damage = outcome->damage;
    return std::move(outcome->image);
}

} // namespace rasterblatt
