// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/bitmap.h"

#include <QHash>
#include <mutex>

namespace platform {

namespace {
std::mutex cacheMutex;
QHash<qint64, QImage> cache;

QImage decode(int id, bool hiDpi)
{
    if (hiDpi) {
        QImage img(QStringLiteral(":/pictures/%1@2x.png").arg(id));
        if (!img.isNull()) {
            img.setDevicePixelRatio(2.0);
            return img;
        }
    }
    return QImage(QStringLiteral(":/pictures/%1.png").arg(id));
}
} // namespace

QImage LoadBitmap(int id, qreal devicePixelRatio)
{
    const bool hiDpi = devicePixelRatio > 1.0;
    const qint64 key = (qint64(id) << 1) | (hiDpi ? 1 : 0);
    std::lock_guard lock(cacheMutex);
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    QImage img = decode(id, hiDpi);
    cache.insert(key, img);
    return img;
}

QSize BitmapSize(int id)
{
    const QImage img = LoadBitmap(id, 1.0);
    return img.isNull() ? QSize() : img.size();
}

} // namespace platform
