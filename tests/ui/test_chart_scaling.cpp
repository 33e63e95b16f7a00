// SPDX-License-Identifier: GPL-3.0-or-later
// The series scaling dialog: which series it offers, what its edits accept and what OK changes.

#include "common/ChartModel.h"
#include "common/NumberFormat.h"
#include "ui/OknoSkalowanie.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

namespace {

QString SignedKeys()
{
    return QStringLiteral("\b0123456789-") + NumberFormat::DecimalSeparator();
}

void Leave(QLineEdit* edit)
{
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(edit, &out);
}

void Retype(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

} // namespace

class TTestChartScaling : public QObject
{
    Q_OBJECT

private:
    TChartModel Model;

    template <class T> static T* Control(QWidget& dialog, const char* name, int row)
    {
        return dialog.findChild<T*>(QString::fromLatin1(name) + QString::number(row));
    }

private slots:
    void init()
    {
        for (int s = 0; s < ResultSeriesCount; ++s) {
            Model.Clear(s);
            Model.SetVisible(s, false);
        }
        Model.SetVisible(0, true);
        Model.Append(0, 100, -10);
        Model.Append(0, 200, -20);
        Model.SetVisible(1, true); // shown but empty
        Model.Append(2, 100, -30); // holds points but hidden
        Model.Append(3, 100, -40);
        Model.SetVisible(3, true);
    }

    void cleanup() { NumberFormat::SetDecimalSeparator(QChar()); }

    void offersOnlyShownSeriesWithPoints()
    {
        TFormaSkalowanie dialog(Model, SignedKeys());
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QString("Skalowanie"));
        QCOMPARE(dialog.size(), QSize(189, 221));
        for (int row = 0; row < ResultSeriesCount; ++row) {
            const bool offered = row == 0 || row == 3;
            QCOMPARE(Control<QCheckBox>(dialog, "cbSeria", row)->isEnabled(), offered);
            QCOMPARE(Control<QLineEdit>(dialog, "edtSeria", row)->isEnabled(), offered);
            QCOMPARE(Control<QSpinBox>(dialog, "udSeria", row)->isEnabled(), offered);
            QCOMPARE(Control<QLineEdit>(dialog, "edtSeria", row)->text(), QString("0"));
        }
        QCOMPARE(Control<QSpinBox>(dialog, "udSeria", 0)->minimum(), -2000);
        QCOMPARE(Control<QSpinBox>(dialog, "udSeria", 0)->maximum(), 200);
    }

    void editsRefuseLettersAndKeepTheirLimits()
    {
        TFormaSkalowanie dialog(Model, SignedKeys());
        dialog.show();
        QLineEdit* edit = Control<QLineEdit>(dialog, "edtSeria", 0);
        QCheckBox* check = Control<QCheckBox>(dialog, "cbSeria", 0);

        Retype(edit, "250");
        QVERIFY(check->isChecked());
        Leave(edit);
        QCOMPARE(edit->text(), QString("200"));
        Retype(edit, "-250");
        Leave(edit);
        QCOMPARE(edit->text(), QString("-200"));
        QCOMPARE(Control<QSpinBox>(dialog, "udSeria", 0)->value(), -200);

        Retype(edit, "abc");
        QCOMPARE(edit->text(), QString());
        QVERIFY(!check->isChecked());

        QApplication::clipboard()->setText("1x5");
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), QString("1x5"));
        Leave(edit);
        QCOMPARE(edit->text(), QString("0"));
        QVERIFY(!check->isChecked());

        // The up-down steps the edit but never past the edit's own limit.
        QSpinBox* upDown = Control<QSpinBox>(dialog, "udSeria", 0);
        upDown->stepBy(3);
        QCOMPARE(edit->text(), QString("3"));
        QVERIFY(check->isChecked());
        Retype(edit, "41");
        upDown->stepBy(1);
        QCOMPARE(edit->text(), QString("42"));
        Retype(edit, "-200");
        upDown->stepBy(-1);
        QCOMPARE(edit->text(), QString("-200"));
        QCOMPARE(upDown->value(), -200);
    }

    void okShiftsTheTickedSeries()
    {
        for (const QString separator : {",", "."}) {
            NumberFormat::SetDecimalSeparator(separator.front());
            init();
            TFormaSkalowanie dialog(Model, SignedKeys());
            dialog.show();
            Retype(Control<QLineEdit>(dialog, "edtSeria", 0), "3" + separator + "5");
            Retype(Control<QLineEdit>(dialog, "edtSeria", 3), "7");
            Control<QCheckBox>(dialog, "cbSeria", 3)->setChecked(false); // value kept, series not chosen
            QTest::keyClick(&dialog, Qt::Key_Return);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(Model.Series(0).Y(0), -6.5);
            QCOMPARE(Model.Series(0).Y(1), -16.5);
            QCOMPARE(Model.Series(3).Y(0), -40.0);
        }
    }

    void enterAppliesTheLimitOfAnEditNotYetLeft()
    {
        TFormaSkalowanie dialog(Model, SignedKeys());
        dialog.show();
        QLineEdit* edit = Control<QLineEdit>(dialog, "edtSeria", 0);
        edit->setFocus();
        Retype(edit, "250");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(Model.Series(0).Y(0), 190.0);
    }

    void cancelChangesNothing()
    {
        TFormaSkalowanie dialog(Model, SignedKeys());
        dialog.show();
        Retype(Control<QLineEdit>(dialog, "edtSeria", 0), "5");
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(Model.Series(0).Y(0), -10.0);
    }
};

QTEST_MAIN(TTestChartScaling)
#include "test_chart_scaling.moc"
