// SPDX-License-Identifier: GPL-3.0-or-later
// The overload warning through the private sound server: heard on its sink while the desktop's event
// sounds are on, silent (and said so) once they are turned off.

#include <gio/gio.h> // before Qt, whose keyword macros would rewrite GLib's names

#include "audio/AudioTestSupport.h"
#include "ui/EventSound.h"

#include <QProcess>
#include <QTemporaryFile>
#include <QTest>
#include <cstdlib>
#include <cstring>

namespace {

// The loudest sample the sink played while `during` ran and a moment after, from its monitor; -1 when
// the recorder did not start. The null sink's monitor records only while something plays.
int PeakHeard(const std::function<void()>& during)
{
    QTemporaryFile recording;
    if (!recording.open())
        return -1;
    QProcess recorder;
    recorder.setStandardOutputFile(recording.fileName());
    recorder.start("parec", {"--device=" + QString::fromUtf8(TestSource()), "--format=s16le", "--channels=1",
                             "--rate=48000", "--latency-msec=20"});
    if (!recorder.waitForStarted())
        return -1;
    QTest::qWait(300);
    during();
    QTest::qWait(4000); // a null sink's monitor may deliver the first sound of a stream late
    recorder.terminate();
    recorder.waitForFinished();
    const QByteArray bytes = recording.readAll();
    int peak = 0;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        std::int16_t sample = 0;
        std::memcpy(&sample, bytes.constData() + i, 2);
        peak = std::max(peak, std::abs(int(sample)));
    }
    return peak;
}

} // namespace

class TestEventSound : public QObject
{
    Q_OBJECT

    GSettings* Desktop = nullptr;

private slots:
    void initTestCase()
    {
        TONVIX_REQUIRE_PRIVATE_SOUND_SERVER();
        // The desktop's settings as a GNOME session keeps them, in this process's memory only.
        qputenv("GSETTINGS_BACKEND", "memory");
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        GSettingsSchema* schema =
            source ? g_settings_schema_source_lookup(source, "org.gnome.desktop.sound", TRUE) : nullptr;
        QVERIFY2(schema, "gsettings-desktop-schemas is not installed");
        g_settings_schema_unref(schema);
        Desktop = g_settings_new("org.gnome.desktop.sound");
    }
    void cleanupTestCase()
    {
        if (Desktop)
            g_object_unref(Desktop);
    }

    void heardUnlessTheDesktopTurnedEventSoundsOff()
    {
        TEventSound sound;
        g_settings_set_boolean(Desktop, "event-sounds", TRUE);
        TEventSound::TOutcome outcome = TEventSound::TOutcome::Failed;
        const int loud = PeakHeard([&] { outcome = sound.PlayWarning().result(); });
        QCOMPARE(outcome, TEventSound::TOutcome::Played);
        QVERIFY2(loud > 1000, qPrintable(QString::number(loud)));

        g_settings_set_boolean(Desktop, "event-sounds", FALSE);
        const int quiet = PeakHeard([&] { outcome = sound.PlayWarning().result(); });
        QCOMPARE(outcome, TEventSound::TOutcome::Disabled);
        QCOMPARE(quiet, 0);
    }
};

QTEST_MAIN(TestEventSound)
#include "test_event_sound.moc"
