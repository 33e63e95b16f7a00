#pragma once

#include "audio/WaveFormat.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

struct pa_context;
struct pa_threaded_mainloop;
class TDeviceStream;
class TNotificationChannel;

struct TServerDevice
{
    QByteArray Name;
    QString Description;
    bool Dummy = false; // a null or dummy sink (or its monitor) rather than a card
};

// The sound server through its client API: a threaded main loop whose thread only copies frames
// between the streams and the queued blocks. Connects on first use and again after the server went away.
class TPulseService
{
public:
    TPulseService();
    ~TPulseService();
    TPulseService(const TPulseService&) = delete;
    TPulseService& operator=(const TPulseService&) = delete;

    // The server's default device of the direction first. Empty with a reason when no server answers.
    std::vector<TServerDevice> Devices(TWaveDirection direction, QString& whyNone);
    int Open(TWaveDirection direction, const QByteArray& name, const TWaveFormat& format, int blockBytes,
             TNotificationChannel& channel, std::unique_ptr<TDeviceStream>& stream);
    static QString ErrorText(int code);

private:
    bool Connect(QString& whyNot);
    void Disconnect();

    pa_threaded_mainloop* Loop = nullptr;
    pa_context* Context = nullptr;
    int OpenStreams = 0;
};
