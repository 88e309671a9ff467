// The tone player, built as a plugin of its own (libswd-isp-tone.so) so that Qt Multimedia and
// the audio libraries behind it load on the first tone instead of at every start.
#include <QApplication>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QTimer>
#include <cmath>

#include "platform/audio_tone.h"

// Plays a generated sine on the default output; false when there is no output device.
// Runs on the user-interface thread and returns at once.
extern "C" bool swd_isp_play_tone(unsigned frequencyHz, unsigned durationMs) {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) return false;
    QAudioFormat format;
    format.setSampleRate(44100);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    const int samples = static_cast<int>(44100LL * durationMs / 1000);
    QByteArray pcm(samples * 2, Qt::Uninitialized);
    auto* out = reinterpret_cast<int16_t*>(pcm.data());
    for (int i = 0; i < samples; ++i)
        out[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * frequencyHz * i / 44100.0));
    auto* buffer = new QBuffer(qApp);
    buffer->setData(pcm);
    buffer->open(QIODevice::ReadOnly);
    auto* sink = new QAudioSink(device, format, qApp);
    sink->start(buffer);
    QTimer::singleShot(durationMs + 200, qApp, [sink, buffer] {
        sink->stop();
        sink->deleteLater();
        buffer->deleteLater();
    });
    return true;
}

static_assert(std::is_same_v<decltype(&swd_isp_play_tone), platform::PlayToneFunction>);
