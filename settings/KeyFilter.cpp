// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/KeyFilter.h"

#include <QKeyEvent>

const QString TKeyFilter::Digits = QStringLiteral("0123456789");

void TKeyFilter::Install(QObject* edit, const QString& allowed)
{
    edit->installEventFilter(new TKeyFilter(allowed, edit));
}

bool TKeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool command = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
        if (!command && !text.isEmpty() && text.front().isPrint() && !Allowed.contains(text.front()))
            return true;
    }
    return QObject::eventFilter(watched, event);
}
