// The alarm tone: a sine wave written to ALSA's default device, or the terminal bell.
#include "platform/Beep.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <unistd.h>
#include <vector>

#ifdef TARVO_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

namespace tarvo {

namespace {

constexpr unsigned kRate = 44100;
constexpr double kFrequency = 750.0;
constexpr unsigned kMilliseconds = 500;

std::mutex deviceMutex;
std::string deviceName;

#ifdef TARVO_HAVE_ALSA
// ALSA prints its own complaints to stderr; a machine without sound is no error here.
void quietAlsa(const char *, int, const char *, int, const char *, ...) {}

snd_pcm_t *pcm = nullptr;
bool triedToOpen = false;

std::vector<int16_t> tone()
{
    std::vector<int16_t> samples(kRate * kMilliseconds / 1000);
    const double step = 2.0 * M_PI * kFrequency / kRate;
    for (size_t i = 0; i < samples.size(); ++i) {
        // A short fade at both ends keeps the tone free of clicks.
        const double edge = std::min({1.0, double(i) / 220.0, double(samples.size() - i) / 220.0});
        samples[i] = static_cast<int16_t>(std::sin(step * double(i)) * 12000.0 * edge);
    }
    return samples;
}

// Opens the default playback device once; false when there is none.
bool openDevice()
{
    if (triedToOpen)
        return pcm != nullptr;
    triedToOpen = true;
    snd_lib_error_set_handler(quietAlsa);
    // Opened without blocking, so a busy or absent device cannot hang the beep thread.
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
        pcm = nullptr;
        return false;
    }
    if (snd_pcm_nonblock(pcm, 0) < 0 ||
        snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1,
                           100000) < 0) {
        snd_pcm_close(pcm);
        pcm = nullptr;
        return false;
    }
    deviceName = "ALSA default";
    return true;
}

bool playTone()
{
    static const std::vector<int16_t> samples = tone();
    if (snd_pcm_prepare(pcm) < 0)
        return false;
    const int16_t *data = samples.data();
    snd_pcm_uframes_t left = samples.size();
    while (left > 0) {
        snd_pcm_sframes_t written = snd_pcm_writei(pcm, data, left);
        if (written < 0) {
            if (snd_pcm_recover(pcm, int(written), 1) < 0)
                return false;
            continue;
        }
        data += written;
        left -= snd_pcm_uframes_t(written);
    }
    snd_pcm_drain(pcm);
    return true;
}
#endif

} // namespace

void terminalBeep()
{
    static const char bell = '\a';
    if (::isatty(STDERR_FILENO))
        (void)!::write(STDERR_FILENO, &bell, 1);
    ::usleep(kMilliseconds * 1000);
}

void systemBeep()
{
    std::unique_lock lock(deviceMutex);
#ifdef TARVO_HAVE_ALSA
    if (openDevice() && playTone())
        return;
#endif
    deviceName = "terminal bell";
    lock.unlock();
    terminalBeep();
}

std::string beepDevice()
{
    std::lock_guard lock(deviceMutex);
    return deviceName;
}

} // namespace tarvo
