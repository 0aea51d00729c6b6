// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/catalogue/NativePath.h"

#include <algorithm>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>

namespace rasterblatt {

namespace {

    constexpr char16_t escapeBase = 0xF700;
    constexpr char32_t escapeFirst = 0xF780;
    constexpr char32_t escapeLast = 0xF7FF;

    bool isEscape(QChar c) { return c.unicode() >= escapeFirst && c.unicode() <= escapeLast; }

    // The length of the valid UTF-8 sequence that starts at p, with its code point, or 0 when
    // none starts there: stray continuation bytes, overlong forms, surrogates, code points
    // past U+10FFFF, cut-off sequences and the escape range itself.
    int validSequence(const uchar* p, const uchar* end, char32_t& codePoint)
    {
        int length = 0;
        char32_t least = 0;
        if (*p < 0x80) {
            codePoint = *p;
            return 1;
        } else if (*p >= 0xC2 && *p <= 0xDF) {
            length = 2;
            codePoint = *p & 0x1F;
            least = 0x80;
        } else if (*p >= 0xE0 && *p <= 0xEF) {
            length = 3;
            codePoint = *p & 0x0F;
            least = 0x800;
        } else if (*p >= 0xF0 && *p <= 0xF4) {
            length = 4;
            codePoint = *p & 0x07;
            least = 0x10000;
        } else {
            return 0;
        }
        if (end - p < length)
            return 0;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return 0;
            codePoint = (codePoint << 6) | (p[i] & 0x3F);
        }
        if (codePoint < least || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)
            || (codePoint >= escapeFirst && codePoint <= escapeLast))
            return 0;
        return length;
    }

    // Windows-1252 at 0x80..0x9F; its five unassigned bytes show as U+FFFD.
    constexpr char16_t windows1252[32] = { 0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6,
        0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013,
        0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178 };

} // namespace

QString pathFromNative(const QByteArray& native)
{
    if (std::all_of(native.cbegin(), native.cend(), [](char c) { return uchar(c) < 0x80; }))
        return QString::fromLatin1(native);
    QString path;
    path.reserve(native.size());
    const auto* p = reinterpret_cast<const uchar*>(native.constData());
    const uchar* const end = p + native.size();
    while (p < end) {
        char32_t codePoint = 0;
        const int length = validSequence(p, end, codePoint);
        if (length == 0) {
            path.append(QChar(char16_t(escapeBase + *p)));
            ++p;
            continue;
        }
        if (QChar::requiresSurrogates(codePoint)) {
            path.append(QChar(QChar::highSurrogate(codePoint)));
            path.append(QChar(QChar::lowSurrogate(codePoint)));
        } else {
            path.append(QChar(char16_t(codePoint)));
        }
        p += length;
    }
    return path;
}

QByteArray nativePath(const QString& path)
{
    if (std::none_of(path.cbegin(), path.cend(), isEscape))
        return path.toUtf8();
    QByteArray native;
    native.reserve(path.size() * 3);
    qsizetype start = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!isEscape(path[i]))
            continue;
        native += QStringView(path).mid(start, i - start).toUtf8();
        native += char(path[i].unicode() - escapeBase);
        start = i + 1;
    }
    native += QStringView(path).mid(start).toUtf8();
    return native;
}

QString displayName(const QString& path)
{
    QString shown = path;
    for (QChar& c : shown) {
        if (!isEscape(c))
            continue;
        const char16_t byte = c.unicode() - escapeBase;
        c = QChar(byte >= 0xA0 ? byte : windows1252[byte - 0x80]);
    }
    return shown;
}

QString currentFolder()
{
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? pathFromNative(QByteArray(buffer)) : QStringLiteral("/");
}

QString absolutePath(const QString& path)
{
    return QDir::cleanPath(path.startsWith(u'/') ? path : currentFolder() + u'/' + path);
}

bool isFolder(const QString& path)
{
    struct stat info { };
    return ::stat(nativePath(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace rasterblatt
