// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/noticeline.h"

#include "platform/ui/notices.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace tonvero {

NoticeLine::NoticeLine(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("noticeLine"));
    setAttribute(Qt::WA_StyledBackground);
    // Amber, like a desktop's information bar, dark enough text for any eyes.
    setStyleSheet(QStringLiteral("#noticeLine { background: #fff4d6; border: 1px solid #d9a83c; border-radius: 4px; }"
                                 "#noticeLine QLabel { color: #3d2b00; background: transparent; }"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 3, 3, 3);
    row->setSpacing(6);
    m_icon = new QLabel(this);
    m_icon->setAlignment(Qt::AlignTop);
    m_text = new QLabel(this);
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::AutoText);
    m_text->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(m_text, &QLabel::linkActivated, this, &NoticeLine::linkActivated);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_close = new QToolButton(this);
    m_close->setAutoRaise(true);
    m_close->setToolTip(tr("Скрыть"));
    m_close->setAccessibleName(tr("Скрыть уведомление"));
    m_close->setFocusPolicy(Qt::TabFocus);
    row->addWidget(m_icon, 0, Qt::AlignTop);
    row->addWidget(m_text, 1);
    row->addWidget(m_close, 0, Qt::AlignTop);
    setAccessibleName(tr("Уведомление"));
    connect(m_close, &QToolButton::clicked, this, [this] {
        if (!m_notices.empty())
            clear(m_notices.back().first);
    });
    hide();
}

void NoticeLine::listenTo(platform::Notices& channel)
{
    connect(&channel, &platform::Notices::posted, this, &NoticeLine::post);
    connect(&channel, &platform::Notices::cleared, this, &NoticeLine::clear);
    connect(&channel, &platform::Notices::clearedAll, this, &NoticeLine::clearAll);
}

void NoticeLine::clearAll(const QString& keyPrefix)
{
    const auto before = m_notices.size();
    m_notices.erase(std::remove_if(m_notices.begin(), m_notices.end(),
                                   [&](const auto& n) { return n.first.startsWith(keyPrefix); }),
                    m_notices.end());
    if (m_notices.size() != before)
        refresh();
}

void NoticeLine::post(const QString& key, const QString& text)
{
    auto it = std::find_if(m_notices.begin(), m_notices.end(), [&](const auto& n) { return n.first == key; });
    if (it != m_notices.end())
        m_notices.erase(it);
    m_notices.emplace_back(key, text);
    refresh();
}

void NoticeLine::clear(const QString& key)
{
    const auto before = m_notices.size();
    m_notices.erase(std::remove_if(m_notices.begin(), m_notices.end(), [&](const auto& n) { return n.first == key; }),
                    m_notices.end());
    if (m_notices.size() != before)
        refresh();
}

bool NoticeLine::has(const QString& key) const
{
    return std::any_of(m_notices.begin(), m_notices.end(), [&](const auto& n) { return n.first == key; });
}

QString NoticeLine::currentText() const
{
    return m_notices.empty() ? QString() : m_notices.back().second;
}

QStringList NoticeLine::texts() const
{
    QStringList list;
    for (auto it = m_notices.rbegin(); it != m_notices.rend(); ++it)
        list << it->second;
    return list;
}

int NoticeLine::heightForWidth(int width) const
{
    if (m_notices.empty())
        return 0;
    const QMargins m = layout()->contentsMargins();
    const int textWidth = width - m.left() - m.right() - m_icon->sizeHint().width() - m_close->sizeHint().width()
                          - 2 * layout()->spacing();
    const int text = m_text->heightForWidth(qMax(40, textWidth));
    return qMax(text, m_close->sizeHint().height()) + m.top() + m.bottom();
}

void NoticeLine::refresh()
{
    if (m_notices.empty()) {
        m_text->clear();
        hide();
    } else {
        // Looked up in the icon theme at the first notice, not at start-up: that search is slow.
        if (m_close->icon().isNull()) {
            const int side = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
            m_icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(side, side));
            m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton, nullptr, this));
        }
        QString text = m_notices.back().second;
        if (m_notices.size() > 1)
            text += QLatin1Char(' ') + tr("(ещё уведомлений: %n)", nullptr, int(m_notices.size() - 1));
        m_text->setText(text);
        setAccessibleDescription(text);
        show();
        raise();
    }
    emit changed();
}

} // namespace tonvero
