// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/bitmap.h"

#include <QHash>
#include <QImageReader>
#include <QSet>
#include <QThreadPool>
#include <condition_variable>
#include <mutex>

namespace platform {

namespace {
std::mutex cacheMutex;
std::condition_variable decodedOne;
QHash<qint64, QImage> cache;
QSet<qint64> decoding; // on some thread, outside the lock
QHash<int, QSize> sizes;

// Our pictures are PNG: naming the format, with no guessing, spares loading
// every image plugin Qt has, which it would otherwise ask first whether they
// read ".png".
void readAsPng(QImageReader& reader)
{
    reader.setFormat("png");
    reader.setAutoDetectImageFormat(false);
}

QImage read(const QString& path)
{
    QImageReader reader(path);
    readAsPng(reader);
    return reader.read();
}

QImage decode(int id, bool hiDpi)
{
    if (hiDpi) {
        QImage img = read(QStringLiteral(":/pictures/%1@2x.png").arg(id));
        if (!img.isNull()) {
            img.setDevicePixelRatio(2.0);
            return img;
        }
    }
    return read(QStringLiteral(":/pictures/%1.png").arg(id));
}
} // namespace

QImage LoadBitmap(int id, qreal devicePixelRatio)
{
    const bool hiDpi = devicePixelRatio > 1.0;
    const qint64 key = (qint64(id) << 1) | (hiDpi ? 1 : 0);
    std::unique_lock lock(cacheMutex);
    // A picture being decoded ahead is waited for, not decoded twice.
    decodedOne.wait(lock, [key] { return !decoding.contains(key); });
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    decoding.insert(key);
    lock.unlock();
    QImage img = decode(id, hiDpi);
    lock.lock();
    decoding.remove(key);
    cache.insert(key, img);
    decodedOne.notify_all();
    return img;
}

void DecodeAhead(const QList<int>& ids, qreal devicePixelRatio)
{
    QThreadPool::globalInstance()->start([ids, devicePixelRatio] {
        for (int id : ids)
            LoadBitmap(id, devicePixelRatio);
    });
}

QSize BitmapSize(int id)
{
    std::lock_guard lock(cacheMutex);
    if (auto it = sizes.constFind(id); it != sizes.constEnd())
        return *it;
    // The header says it: a picture not shown yet is not decoded for its size.
    QSize size;
    if (auto it = cache.constFind(qint64(id) << 1); it != cache.constEnd())
        size = it->size();
    else {
        QImageReader reader(QStringLiteral(":/pictures/%1.png").arg(id));
        readAsPng(reader);
        size = reader.size();
    }
    if (!size.isValid())
        size = QSize();
    sizes.insert(id, size);
    return size;
}

} // namespace platform
