// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QEvent>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

// A view's event(): a tooltip asked for shows the text the view gives for
// that point, or hides the one shown when it gives none. True when handled.
template <class TextAt>
bool showToolTipEvent(QWidget* view, QEvent* event, TextAt textAt)
{
    if (event->type() != QEvent::ToolTip)
        return false;
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = textAt(help->pos());
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, view);
    return true;
}
