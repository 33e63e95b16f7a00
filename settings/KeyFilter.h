// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

// Drops every character typed into the watched edits that is not one of `allowed`. Keys that type
// nothing (backspace, arrows, Tab, shortcuts such as Ctrl+V) pass.
class TKeyFilter : public QObject
{
public:
    TKeyFilter(const QString& allowed, QObject* parent) : QObject(parent), Allowed(allowed) {}

    static const QString Digits; // "0123456789"

    // Installs a filter owned by the edit itself.
    static void Install(QObject* edit, const QString& allowed);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString Allowed;
};
