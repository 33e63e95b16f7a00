// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Settings files of one test program, in a temporary folder. Every case gets a file of its own, so no
// copy of an earlier case's file that the settings layer still holds can answer for it.
class TTestFiles
{
public:
    QString NewFile() { return Folder.filePath(QStringLiteral("case%1.ini").arg(++Files)); }

    static void Write(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    static QByteArray Read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir Folder;
    int Files = 0;
};
