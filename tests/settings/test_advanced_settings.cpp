// SPDX-License-Identifier: GPL-3.0-or-later
// The block-size rules and the two small settings dialogs: "Ustawienia zaawansowane" and
// "Czas usredniania".

#include "ui/WindowTestSupport.h"

#include "audio/AudioIO.h"
#include "audio/DeviceServices.h"
#include "common/NumberFormat.h"
#include "measure/MeasurementState.h"
#include "settings/AdvancedSettings.h"
#include "settings/OknoCzasUsredniania.h"
#include "settings/OknoZaawansowane.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

namespace {

// The program's pair of components at 48000 frames/s with 1500-sample blocks.
struct TPair
{
    TAudioIn In;
    TAudioOut Out;
    TPair()
    {
        In.SetStereo(true);
        for (TAudioIO* audio : std::initializer_list<TAudioIO*>{&In, &Out})
            audio->SetFrameRate(48000);
        In.SetBufferSize(1500 * InputFrameBytes);
        Out.SetBufferSize(1500 * OutputSampleBytes);
        Out.OnFillBuffer = [](float*, int&) { return true; };
    }
};

TAdvancedSettings InForce()
{
    return {1500, 1500, 300, false, 32, 25};
}

QLineEdit* Edit(QWidget& dialog, const char* name)
{
    return FindControl<QLineEdit>(dialog, name);
}

} // namespace

class TestAdvancedSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TDeviceServices::UseVirtualCardOnly(true); }
    void cleanup() { NumberFormat::SetDecimalSeparator(QChar()); }

    void blockSizesFollowTheFrameRate()
    {
        TPair pair;
        QCOMPARE(MinRefreshInterval(pair.In, pair.Out), 32); // 31.25 ms blocks
        pair.In.SetFrameRate(44100);
        ApplyAutomaticBlockSizes(pair.In, pair.Out, 32);
        QCOMPARE(pair.In.BufferSize(), 5512); // 1378 samples each
        QCOMPARE(pair.Out.BufferSize(), 2756);
        QCOMPARE(AutomaticBlockSamples(44100, 0), 44100); // an N of 0 never divides
    }

    void applyingChangesTheBlocksOnlyWhileTheInputIsIdle()
    {
        TPair pair;
        TMeasurementState state;
        TAdvancedSettings changed{2000, 1000, 150, false, 16, 20, TSampleFormat::Integer};
        ApplyAdvancedSettings(changed, state, pair.In, pair.Out);
        QCOMPARE(pair.In.SampleFormat(), TSampleFormat::Integer);
        QCOMPARE(pair.Out.SampleFormat(), TSampleFormat::Integer);
        QCOMPARE(pair.In.BufferSize(), 8000);
        QCOMPARE(pair.Out.BufferSize(), 2000);
        QCOMPARE(state.MeasurementDelay, 150);
        QCOMPARE(state.LowFreqLimit, 16);
        QCOMPARE(state.AmplitudeConst, 20);
        QVERIFY(!state.AutoBuforSize);

        QVERIFY(pair.In.Start());
        changed = {500, 500, 0, true, 8, 30, TSampleFormat::Float};
        ApplyAdvancedSettings(changed, state, pair.In, pair.Out);
        pair.In.StopNow();
        QCOMPARE(pair.In.BufferSize(), 8000); // what was opened stays
        QCOMPARE(pair.In.SampleFormat(), TSampleFormat::Integer);
        QCOMPARE(pair.Out.BufferSize(), 2000);
        QCOMPARE(state.MeasurementDelay, 0);
        QCOMPARE(state.LowFreqLimit, 8);
        QCOMPARE(state.AmplitudeConst, 30);
        QVERIFY(state.AutoBuforSize);
        ApplyAdvancedSettings(changed, state, pair.In, pair.Out); // idle again: one period of 8 Hz
        QCOMPARE(pair.In.BufferSize(), 6000 * InputFrameBytes);
        QCOMPARE(pair.Out.SampleFormat(), TSampleFormat::Float);
    }

    void advancedDialogShowsDurationsAndRestoresWhatIsLeftEmpty_data()
    {
        QTest::addColumn<QChar>("separator");
        QTest::newRow("comma") << QChar(',');
        QTest::newRow("point") << QChar('.');
    }
    void advancedDialogShowsDurationsAndRestoresWhatIsLeftEmpty()
    {
        QFETCH(QChar, separator);
        NumberFormat::SetDecimalSeparator(separator);
        TFormaZaawansowane dialog(InForce(), 48000, [](QWidget*) { return true; });
        dialog.show();
        QCOMPARE(Edit(dialog, "edtBuforWejsciowyT")->text(), QString("31") + separator + "25");
        QVERIFY(Edit(dialog, "edtBuforWejsciowy")->isEnabled());
        QVERIFY(!Edit(dialog, "edtCzasUsLin")->isEnabled());

        QLineEdit* input = Edit(dialog, "edtBuforWejsciowy");
        TypeAndLeave(input, "3x6");
        QCOMPARE(input->text(), QString("36")); // digits only
        QCOMPARE(Edit(dialog, "edtBuforWejsciowyT")->text(), QString("0") + separator + "75");
        TypeAndLeave(input, "0");
        QCOMPARE(input->text(), QString("1500"));
        TypeAndLeave(Edit(dialog, "edtNachylenie"), "");
        QCOMPARE(Edit(dialog, "edtNachylenie")->text(), QString("25"));
        TypeAndLeave(Edit(dialog, "edtOpoznieniePomiaru"), "0");
        QCOMPARE(Edit(dialog, "edtOpoznieniePomiaru")->text(), QString("0")); // a delay of 0 is kept
        TypeAndLeave(Edit(dialog, "edtOpoznieniePomiaru"), "");
        QCOMPARE(Edit(dialog, "edtOpoznieniePomiaru")->text(), QString("300"));

        // The automatic size: the sizes follow N, the size edits give way to N's.
        FindControl<QCheckBox>(dialog, "cbAutoBuffSize")->click();
        QVERIFY(!input->isEnabled());
        QVERIFY(Edit(dialog, "edtCzasUsLin")->isEnabled());
        TypeAndLeave(Edit(dialog, "edtCzasUsLin"), "16");
        QCOMPARE(input->text(), QString("3000"));
        QCOMPARE(Edit(dialog, "edtBuforWyjsciowy")->text(), QString("3000"));
        TypeAndLeave(Edit(dialog, "edtCzasUsLin"), "0");
        QCOMPARE(Edit(dialog, "edtCzasUsLin")->text(), QString("32"));
    }

    // OK asks for the confirmation: only "&Tak" closes with OK; Escape closes without applying.
    void advancedDialogAppliesOnlyAConfirmedChange()
    {
        for (const bool yes : {false, true}) {
            int asked = 0;
            TFormaZaawansowane dialog(InForce(), 48000, [&](QWidget*) {
                ++asked;
                return yes;
            });
            dialog.show();
            Edit(dialog, "edtOpoznieniePomiaru")->setText("120");
            QTest::keyClick(Edit(dialog, "edtOpoznieniePomiaru"), Qt::Key_Return);
            QCOMPARE(asked, 1);
            QCOMPARE(dialog.result(), yes ? int(QDialog::Accepted) : int(QDialog::Rejected));
            QCOMPARE(dialog.Values().MeasurementDelay, 120);
        }
        // "Format próbek" shows the format in force and gives the one chosen.
        TFormaZaawansowane sixteen({1500, 1500, 300, false, 32, 25, TSampleFormat::Integer}, 48000,
                                   [](QWidget*) { return true; });
        auto* format = FindControl<QComboBox>(sixteen, "cbFormatProbek");
        QCOMPARE(format->currentText(), QString("16 bitów"));
        format->setCurrentIndex(1);
        QCOMPARE(format->currentText(), QString("32 bity zmiennoprzecinkowe"));
        QCOMPARE(sixteen.Values().SampleFormat, TSampleFormat::Float);
        QCOMPARE(TFormaZaawansowane(InForce(), 48000, {}).Values().SampleFormat, TSampleFormat::Float);
        TFormaZaawansowane dialog(InForce(), 48000, [](QWidget*) { return true; });
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    // A size the settings cannot keep is refused with the limit, before any confirmation; a size that
    // reaches the blocks some other way is held to it, never to an overflow of the byte count.
    void sizesStayWithinWhatTheSettingsKeep()
    {
        int asked = 0;
        TFormaZaawansowane dialog(InForce(), 48000, [&](QWidget*) {
            ++asked;
            return true;
        });
        dialog.show();
        QLineEdit* output = Edit(dialog, "edtBuforWyjsciowy");
        output->setText("600000000");
        TModalAnswer refusal([](QWidget* box) { static_cast<QDialog*>(box)->accept(); });
        QTest::keyClick(output, Qt::Key_Return);
        QVERIFY(refusal.Seen);
        QCOMPARE(refusal.Text, QString("Wielkość bufora nie może przekraczać 1048576 próbek."));
        QVERIFY(dialog.isVisible());
        QCOMPARE(asked, 0);
        output->setText(QString::number(MaxBlockSamples));
        QTest::keyClick(output, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));

        TPair pair;
        TMeasurementState state;
        ApplyAdvancedSettings({600'000'000, 1'000'000'000, 300, false, 32, 25}, state, pair.In, pair.Out);
        QCOMPARE(pair.In.BufferSize(), MaxBlockSamples * InputFrameBytes);
        QCOMPARE(pair.Out.BufferSize(), MaxBlockSamples * OutputSampleBytes);
    }

    void averagingTimeHasItsMinimum()
    {
        NumberFormat::SetDecimalSeparator(',');
        TFormaCzasUsredniania dialog(1.5, QPoint(700, 120));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.frameGeometry().right(), 700);
        QCOMPARE(dialog.frameGeometry().top(), 120);
        QLineEdit* edit = Edit(dialog, "edtCzasUsredniania");
        QCOMPARE(edit->text(), QString("1,5"));
        edit->clear();
        QTest::keyClicks(edit, "0.,034s");
        QCOMPARE(edit->text(), QString("0,034")); // digits and the user's separator only
        TModalAnswer refusal([](QWidget* box) { static_cast<QDialog*>(box)->accept(); });
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(refusal.Seen);
        QCOMPARE(refusal.Text, QString("Stała czasu nie może być mniejsza niż 0,035s"));
        QVERIFY(dialog.isVisible());
        edit->setText("0,035");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Seconds(), 0.035);
    }
};

QTEST_MAIN(TestAdvancedSettings)
#include "test_advanced_settings.moc"
