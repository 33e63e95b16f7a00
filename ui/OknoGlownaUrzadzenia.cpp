// SPDX-License-Identifier: GPL-3.0-or-later
// The main window and the sound devices the user chose: the status bar's hint names them, a chosen
// device that is absent gives way to the default one with a note, and a device lost during a
// measurement stops it with a message, keeping what was measured.

#include "ui/OknoGlowna.h"

#include "audio/DeviceServices.h"
#include "measure/RecordingControl.h"

#include <QStatusBar>
#include <QTimer>
#include <algorithm>

namespace {

bool IsInput(const TAudioIO& device)
{
    return qobject_cast<const TAudioIn*>(&device) != nullptr;
}

QString MissingNote(const TAudioIO& device)
{
    return QStringLiteral("Brak urządzenia ") +
           (IsInput(device) ? QStringLiteral("wejściowego") : QStringLiteral("wyjściowego")) +
           QStringLiteral(" „") + QString::fromUtf8(device.DeviceName()) +
           QStringLiteral("”; używane jest urządzenie domyślne.");
}

// The device's description, the default device's name, or the stable name of one that is absent.
QString Described(const TAudioIO& device, const std::vector<TDeviceEntry>& devices, bool& missing)
{
    missing = false;
    if (device.DeviceName().isEmpty())
        return QStringLiteral("urządzenie domyślne");
    const auto found = std::find_if(devices.begin(), devices.end(), [&](const TDeviceEntry& entry) {
        return entry.Name == device.DeviceName();
    });
    if (found != devices.end())
        return found->Description;
    missing = true;
    return QString::fromUtf8(device.DeviceName()) +
           QStringLiteral(" (niedostępne, używane jest urządzenie domyślne)");
}

} // namespace

void TFormaGlowna::WatchDevices()
{
    // An open that found the chosen device absent has opened the default device instead.
    const auto opened = [this](const TAudioIO& device) {
        if (device.DeviceMissing())
            SetStatusPanel(0, MissingNote(device));
    };
    audAudioIn.OnStart = [this, opened](QObject*) { opened(audAudioIn); };
    audAudioOut.OnStart = [this, opened](QObject*) { opened(audAudioOut); };
    // Handled after the notification, outside the device's own handling of it.
    const auto closed = [this](const TAudioIO& device) {
        if (DeviceFailed(device))
            QTimer::singleShot(0, this, [this, &device] { DeviceStopped(device); });
    };
    audAudioIn.OnStop = [closed, this](QObject*) { closed(audAudioIn); };
    audAudioOut.OnStop = [closed, this](QObject*) { closed(audAudioOut); };
    connect(&TDeviceServices::Watch(), &TDeviceWatch::DevicesChanged, this, [this] { ShowDevices(false); });
    ShowDevices(true);
}

void TFormaGlowna::ShowDevices(bool noteMissing)
{
    // The server is asked only when a device was chosen by its name.
    const bool named = !audAudioIn.DeviceName().isEmpty() || !audAudioOut.DeviceName().isEmpty();
    const TDeviceLists devices = named ? TDeviceServices::AllDevices() : TDeviceLists{};
    bool inputMissing = false, outputMissing = false;
    const QString input = Described(audAudioIn, devices.Inputs, inputMissing);
    const QString output = Described(audAudioOut, devices.Outputs, outputMissing);
    statusBar()->setToolTip(QStringLiteral("Urządzenie wejściowe: ") + input +
                            QStringLiteral("\nUrządzenie wyjściowe: ") + output);
    if (noteMissing && (inputMissing || outputMissing))
        SetStatusPanel(0, MissingNote(inputMissing ? static_cast<const TAudioIO&>(audAudioIn) : audAudioOut));
}

// A device closes by itself only when it failed or went away: the program closes its devices only
// after the measurement (or the calibration) has stopped, and its block handlers never refuse a block.
// The close of an earlier open may come late, when the device is open again for the next measurement:
// that is none.
bool TFormaGlowna::DeviceFailed(const TAudioIO& device) const
{
    return (Recording->InProgress() || Calibration->Running()) && !device.DeviceOpen() &&
           !Measurement.InputStartFailed && !Measurement.OutputStartFailed;
}

void TFormaGlowna::DeviceStopped(const TAudioIO& device)
{
    if (!DeviceFailed(device))
        return;
    QString reason = device.LastError();
    if (!reason.isEmpty())
        reason = QStringLiteral(" (") + reason + QStringLiteral(")");
    const QString failed = QStringLiteral("Urządzenie ") +
                           (IsInput(device) ? QStringLiteral("wejściowe") : QStringLiteral("wyjściowe")) +
                           QStringLiteral(" przestało działać") + reason;
    // Without its tone or its input a calibration would set the offsets from silence.
    if (Calibration->Running()) {
        Calibration->Abort(failed + QStringLiteral(". Kalibracja została przerwana; dotychczasowa kalibracja "
                                                   "pozostaje bez zmian."));
        return;
    }
    Recording->Stop(TStopSender::None);
    ShowError(failed + QStringLiteral(". Pomiar został zatrzymany; zmierzone wartości zostały zachowane."));
}
