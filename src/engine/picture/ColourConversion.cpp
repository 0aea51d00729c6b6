// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/ColourConversion.h"

#include <algorithm>
#include <list>
#include <memory>
#include <mutex>

#include <QColorSpace>

#include <lcms2.h>

namespace rasterblatt {

namespace {

    using Profile = std::unique_ptr<void, decltype(&cmsCloseProfile)>;
    using Transform = std::shared_ptr<void>;

    constexpr cmsUInt32Number Bgra8 = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TYPE_BGRA_8 : TYPE_ARGB_8;
    constexpr cmsUInt32Number Cmyk8Inverted = TYPE_CMYK_8_REV;

    // The sRGB curve as lcms's parametric type 4.
    cmsToneCurve* srgbCurve()
    {
        const cmsFloat64Number parameters[] = { 2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045 };
        return cmsBuildParametricToneCurve(nullptr, 4, parameters);
    }

    Profile rgbProfile(const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve)
    {
        const cmsCIExyY white { 0.3127, 0.3290, 1 }; // D65
        cmsToneCurve* curves[3] = { curve, curve, curve };
        Profile profile(curve ? cmsCreateRGBProfile(&white, &primaries, curves) : nullptr, &cmsCloseProfile);
        cmsFreeToneCurve(curve);
        return profile;
    }

    // A HEIF's numbered colours (ITU-T H.273) as a profile, or null where they name none we know.
    Profile codedProfile(int primaries, int transfer)
    {
        cmsCIExyYTRIPLE xy;
        switch (primaries) {
        case 1: // BT.709, as sRGB
            xy = { { 0.64, 0.33, 1 }, { 0.30, 0.60, 1 }, { 0.15, 0.06, 1 } };
            break;
        case 9: // BT.2020
            xy = { { 0.708, 0.292, 1 }, { 0.170, 0.797, 1 }, { 0.131, 0.046, 1 } };
            break;
        case 12: // SMPTE EG 432: Display P3
            xy = { { 0.680, 0.320, 1 }, { 0.265, 0.690, 1 }, { 0.150, 0.060, 1 } };
            break;
        default:
            return Profile(nullptr, &cmsCloseProfile);
        }
        switch (transfer) {
        case 1: // BT.709 and its kin are shown with the sRGB curve, as every viewer does; so is none
        case 2:
        case 6:
        case 13:
        case 14:
        case 15:
            return rgbProfile(xy, srgbCurve());
        case 4:
            return rgbProfile(xy, cmsBuildGamma(nullptr, 2.2));
        case 5:
            return rgbProfile(xy, cmsBuildGamma(nullptr, 2.8));
        case 8:
            return rgbProfile(xy, cmsBuildGamma(nullptr, 1.0));
        default:
            return Profile(nullptr, &cmsCloseProfile);
        }
    }

    Profile sourceProfile(const PictureColour& colour)
    {
        switch (colour.kind) {
        case PictureColour::Kind::Icc:
            return Profile(
                cmsOpenProfileFromMem(colour.icc.constData(), cmsUInt32Number(colour.icc.size())), &cmsCloseProfile);
        case PictureColour::Kind::AdobeRgb:
            return rgbProfile(
                { { 0.64, 0.33, 1 }, { 0.21, 0.71, 1 }, { 0.15, 0.06, 1 } }, cmsBuildGamma(nullptr, 563.0 / 256));
        case PictureColour::Kind::Coded:
            return codedProfile(colour.primaries, colour.transfer);
        case PictureColour::Kind::Untagged:
            break;
        }
        return Profile(nullptr, &cmsCloseProfile);
    }

    // Whether the transform leaves every colour of a coarse grid within a level of itself.
    bool leavesAlone(void* transform, cmsUInt32Number type)
    {
        const int channels = int(T_CHANNELS(type) + T_EXTRA(type));
        const int bytes = int(T_BYTES(type));
        const int colours = T_CHANNELS(type) == 1 ? 1 : 3;
        std::vector<quint16> in, out;
        for (int i = 0; i < 125; ++i) {
            const int levels[] = { i % 5 * 255 / 4, i / 5 % 5 * 255 / 4, i / 25 * 255 / 4 };
            for (int c = 0; c < channels; ++c)
                in.push_back(quint16(levels[std::min(c, colours - 1)] * (bytes == 2 ? 257 : 1)));
        }
        out.resize(in.size());
        if (bytes == 1) {
            std::vector<quint8> in8(in.begin(), in.end()), out8(in.size());
            cmsDoTransform(transform, in8.data(), out8.data(), 125);
            std::copy(out8.begin(), out8.end(), out.begin());
        } else {
            cmsDoTransform(transform, in.data(), out.data(), 125);
        }
        const int tolerance = bytes == 2 ? 257 : 1;
        for (size_t i = 0; i < in.size(); ++i) {
            if (std::abs(int(in[i]) - int(out[i])) > tolerance)
                return false;
        }
        return true;
    }

    // One transform per distinct source and pixel layout, for the whole process. lcms keeps no
    // state in a transform made without its cache, so every thread may use one at once.
    class TransformCache {
    public:
        struct Entry {
            QByteArray key;
            cmsUInt32Number in = 0;
            Transform transform; // null: nothing to do, or failure says why not
            QString failure;
        };

        static TransformCache& process()
        {
            static TransformCache cache;
            return cache;
        }

        Entry find(const PictureColour& colour, cmsUInt32Number in, cmsUInt32Number out)
        {
            const QByteArray key = colour.kind == PictureColour::Kind::Icc ? colour.icc
                                                                           : QByteArray::number(int(colour.kind)) + '/'
                    + QByteArray::number(colour.primaries) + '/' + QByteArray::number(colour.transfer);
            const std::lock_guard lock(m_mutex);
            for (auto entry = m_entries.begin(); entry != m_entries.end(); ++entry) {
                if (entry->in == in && entry->key == key) {
                    m_entries.splice(m_entries.begin(), m_entries, entry);
                    return *entry;
                }
            }
            m_entries.push_front(make(colour, key, in, out));
            if (m_entries.size() > Size)
                m_entries.pop_back();
            return m_entries.front();
        }

    private:
        static constexpr size_t Size = 16;

        TransformCache()
        {
            // Its reasons are given by the loader, in its own words.
            cmsSetLogErrorHandler([](cmsContext, cmsUInt32Number, const char*) {});
        }

        static Entry make(const PictureColour& colour, const QByteArray& key, cmsUInt32Number in, cmsUInt32Number out)
        {
            Entry entry { key, in, nullptr, {} };
            const Profile source = sourceProfile(colour);
            if (!source) {
                entry.failure = colour.kind == PictureColour::Kind::Coded
                    ? QStringLiteral("unbekannte Farbangaben (%1/%2)").arg(colour.primaries).arg(colour.transfer)
                    : QStringLiteral("Farbprofil nicht lesbar");
                return entry;
            }
            // A grey picture stays grey, in sRGB's curve.
            const Profile sink = T_CHANNELS(out) == 1 ? greySrgb() : Profile(cmsCreate_sRGBProfile(), &cmsCloseProfile);
            const cmsUInt32Number flags
                = cmsFLAGS_NOCACHE | cmsFLAGS_BLACKPOINTCOMPENSATION | (T_EXTRA(in) ? cmsFLAGS_COPY_ALPHA : 0);
            void* transform = sink
                ? cmsCreateTransform(source.get(), in, sink.get(), out, INTENT_RELATIVE_COLORIMETRIC, flags)
                : nullptr;
            if (!transform) {
                entry.failure = int(T_COLORSPACE(in)) == _cmsLCMScolorSpace(cmsGetColorSpace(source.get()))
                    ? QStringLiteral("Farbprofil nicht lesbar")
                    : QStringLiteral("Farbprofil passt nicht zum Bild");
                return entry;
            }
            entry.transform = Transform(transform, &cmsDeleteTransform);
            if (in == out && leavesAlone(transform, in))
                entry.transform.reset();
            return entry;
        }

        static Profile greySrgb()
        {
            cmsToneCurve* curve = srgbCurve();
            Profile profile(curve ? cmsCreateGrayProfile(cmsD50_xyY(), curve) : nullptr, &cmsCloseProfile);
            cmsFreeToneCurve(curve);
            return profile;
        }

        std::mutex m_mutex;
        std::list<Entry> m_entries; // the most recently used first
    };

    // The layout lcms reads an image of this format in; 0 where it must be converted first.
    cmsUInt32Number layoutOf(QImage::Format format)
    {
        switch (format) {
        case QImage::Format_RGB32:
        case QImage::Format_ARGB32:
            return Bgra8;
        case QImage::Format_Grayscale8:
            return TYPE_GRAY_8;
        case QImage::Format_Grayscale16:
            return TYPE_GRAY_16;
        case QImage::Format_RGBX64:
        case QImage::Format_RGBA64:
            return TYPE_RGBA_16;
        default:
            return 0;
        }
    }

    void transformRows(void* transform, const QImage& in, QImage& out)
    {
        cmsDoTransformLineStride(transform, in.constBits(), out.bits(), cmsUInt32Number(in.width()),
            cmsUInt32Number(in.height()), cmsUInt32Number(in.bytesPerLine()), cmsUInt32Number(out.bytesPerLine()), 0,
            0);
    }

} // namespace

QImage convertToSrgb(QImage image, const PictureColour& colour, QString& note)
{
    if (!colour.isTagged() || image.isNull())
        return image;
    // A palette picture: its colours are converted, not its pixels.
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB
        || image.format() == QImage::Format_Indexed8) {
        QList<QRgb> table = image.colorTable();
        const TransformCache::Entry entry = TransformCache::process().find(colour, Bgra8, Bgra8);
        note = entry.failure;
        if (entry.transform && !table.isEmpty()) {
            cmsDoTransform(entry.transform.get(), table.data(), table.data(), cmsUInt32Number(table.size()));
            image.setColorTable(table);
        }
        if (entry.failure.isEmpty())
            image.setColorSpace(QColorSpace::SRgb);
        return image;
    }
    cmsUInt32Number layout = layoutOf(image.format());
    if (!layout) {
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        layout = Bgra8;
    }
    TransformCache::Entry entry = TransformCache::process().find(colour, layout, layout);
    // A grey picture that scaling made RGB, with its grey profile.
    if (!entry.failure.isEmpty() && layout != TYPE_GRAY_8 && image.allGray()) {
        QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
        entry = TransformCache::process().find(colour, TYPE_GRAY_8, TYPE_GRAY_8);
        if (entry.failure.isEmpty())
            image = std::move(grey);
    }
    note = entry.failure;
    if (entry.transform)
        transformRows(entry.transform.get(), image, image);
    // The tag of Qt's reader no longer holds; nothing after this converts again.
    if (entry.failure.isEmpty())
        image.setColorSpace(QColorSpace::SRgb);
    return image;
}

bool convertCmykToSrgb(QImage& image, const QByteArray& icc, QString& note)
{
    const TransformCache::Entry entry
        = TransformCache::process().find(PictureColour::fromIcc(icc), Cmyk8Inverted, Bgra8);
    note = entry.failure;
    if (!entry.transform)
        return false;
    // In place, four bytes for four: lcms writes the colours only, the fourth byte is made opaque.
    transformRows(entry.transform.get(), image, image);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] |= 0xff000000;
    }
    return true;
}

} // namespace rasterblatt
