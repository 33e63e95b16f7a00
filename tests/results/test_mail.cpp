// SPDX-License-Identifier: GPL-3.0-or-later
// The hand-over of a new message to the mail client, with stand-ins for xdg-email.

#include "StandInPrograms.h"

#include "results/Mail.h"

#include <QTest>

class TestMail : public QObject
{
    Q_OBJECT
private slots:
    void AnswerFollowsTheClient_data()
    {
        QTest::addColumn<int>("exitCode"); // -1: no xdg-email on PATH
        QTest::addColumn<bool>("sent");
        QTest::newRow("handed over") << 0 << true;
        QTest::newRow("client failed or cancelled") << 1 << false;
        QTest::newRow("no xdg-email") << -1 << false;
    }

    void AnswerFollowsTheClient()
    {
        QFETCH(int, exitCode);
        QFETCH(bool, sent);
        TStandInPrograms programs;
        if (exitCode >= 0)
            programs.Add("xdg-email", exitCode);
        TMailHandOver mail;
        QList<bool> answers;
        mail.Send([&](bool result) { answers.append(result); });
        QTRY_COMPARE(answers, QList<bool>{sent});
        QTest::qWait(20);
        QCOMPARE(answers.size(), 1); // one answer, even when the start fails
        // An empty message: no address, subject or text.
        QCOMPARE(programs.Started(), exitCode >= 0 ? QStringList{"xdg-email"} : QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestMail)
#include "test_mail.moc"
