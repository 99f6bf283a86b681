// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/notices.h"

#include <QThread>

namespace platform {

void Notices::post(const QString& key, const QString& text)
{
    if (QThread::currentThread() == thread())
        emit posted(key, text);
    else
        QMetaObject::invokeMethod(this, [this, key, text] { emit posted(key, text); }, Qt::QueuedConnection);
}

void Notices::clear(const QString& key)
{
    if (QThread::currentThread() == thread())
        emit cleared(key);
    else
        QMetaObject::invokeMethod(this, [this, key] { emit cleared(key); }, Qt::QueuedConnection);
}

void Notices::clearAll(const QString& keyPrefix)
{
    if (QThread::currentThread() == thread())
        emit clearedAll(keyPrefix);
    else
        QMetaObject::invokeMethod(this, [this, keyPrefix] { emit clearedAll(keyPrefix); }, Qt::QueuedConnection);
}

} // namespace platform
