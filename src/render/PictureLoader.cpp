#include "render/PictureLoader.h"

namespace rasterblatt {

PictureLoader::PictureLoader(const QString& path)
{
    QImageReader::setAllocationLimit(AllocationLimitMegabytes);
    m_reader.setDecideFormatFromContent(true);
    m_reader.setAutoTransform(true);
    m_reader.setFileName(path);

    // The header's size is the stored one; the orientation says whether it turns.
    const QSize stored = m_reader.size();
    if (stored.isEmpty())
        return;
    m_turned = m_reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
    m_naturalSize = m_turned ? stored.transposed() : stored;
}

QSize PictureLoader::decodeSize(const QSize& target) const
{
    if (!isValid() || target.isEmpty())
        return m_naturalSize;
    // Integer arithmetic: a rounding error must never leave the result a pixel short.
    const qint64 naturalWidth = m_naturalSize.width();
    const qint64 naturalHeight = m_naturalSize.height();
    qint64 width = target.width();
    qint64 height = target.height();
    if (width * naturalHeight >= height * naturalWidth)
        height = (width * naturalHeight + naturalWidth - 1) / naturalWidth;
    else
        width = (height * naturalWidth + naturalHeight - 1) / naturalHeight;
    if (width >= naturalWidth || height >= naturalHeight)
        return m_naturalSize;
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

QImage PictureLoader::read(const QSize& target)
{
    if (!isValid() || m_read)
        return QImage();
    m_read = true;
    const QSize size = decodeSize(target);
    // A JPEG then decodes at the smallest DCT scale that covers this size; other formats
    // decode whole and are scaled down smoothly. The size is taken in stored orientation.
    if (size != m_naturalSize)
        m_reader.setScaledSize(m_turned ? size.transposed() : size);
    return m_reader.read();
}

} // namespace rasterblatt
