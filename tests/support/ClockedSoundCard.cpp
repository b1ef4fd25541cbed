// A sound card for the tests, where the machine has none: an ALSA plugin
// that takes the sound as a card does and plays it in real time by the
// monotonic clock, without a loudspeaker. What a card would have sounded is
// kept: whenever a stream stops (dropped, or closed), the samples heard
// since it started are appended to FILE and their count, in sample frames,
// as a line to FILE.heard. Like a card's driver, it refuses to prepare a
// stream that still plays (EBUSY), runs dry when the sound written has all
// been played (an underrun), and counts the sound written but not yet
// played as its delay.
//
// Used as the device "vtclocked:FILE=/path", once ALSA's configuration
// names this library for the type (tests/support/ClockedSoundCard.h).
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>

#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Card {
    snd_pcm_ioplug_t io{};
    std::string file;
    std::vector<char> written;  // since the stream was prepared
    bool running = false;
    timespec started{};
};

Card& cardOf(snd_pcm_ioplug_t* io)
{
    return *static_cast<Card*>(io->private_data);
}

size_t frameBytes(const snd_pcm_ioplug_t* io)
{
    return size_t(io->channels) * size_t(snd_pcm_format_physical_width(io->format) / 8);
}

snd_pcm_uframes_t writtenFrames(const Card& card)
{
    return snd_pcm_uframes_t(card.written.size() / frameBytes(&card.io));
}

// What has been played since the start: as much as the clock allows, no more than was written.
snd_pcm_uframes_t playedFrames(const Card& card)
{
    if (!card.running)
        return 0;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const double seconds = double(now.tv_sec - card.started.tv_sec) + double(now.tv_nsec - card.started.tv_nsec) * 1e-9;
    const auto byClock = snd_pcm_uframes_t(seconds * card.io.rate);
    return std::min(byClock, writtenFrames(card));
}

int start(snd_pcm_ioplug_t* io)
{
    Card& card = cardOf(io);
    card.running = true;
    clock_gettime(CLOCK_MONOTONIC, &card.started);
    return 0;
}

// The stream stops: what was heard of it is kept.
int stop(snd_pcm_ioplug_t* io)
{
    Card& card = cardOf(io);
    if (card.running) {
        const snd_pcm_uframes_t heard = playedFrames(card);
        if (FILE* samples = std::fopen(card.file.c_str(), "ab")) {
            std::fwrite(card.written.data(), frameBytes(io), heard, samples);
            std::fclose(samples);
        }
        if (FILE* counts = std::fopen((card.file + ".heard").c_str(), "a")) {
            std::fprintf(counts, "%lu\n", static_cast<unsigned long>(heard));
            std::fclose(counts);
        }
    }
    card.running = false;
    card.written.clear();
    return 0;
}

snd_pcm_sframes_t pointer(snd_pcm_ioplug_t* io)
{
    const Card& card = cardOf(io);
    const snd_pcm_uframes_t played = playedFrames(card);
    if (card.running && played == writtenFrames(card))
        return -EPIPE;
    return snd_pcm_sframes_t(played % io->buffer_size);
}

snd_pcm_sframes_t transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas, snd_pcm_uframes_t offset,
                           snd_pcm_uframes_t size)
{
    Card& card = cardOf(io);
    const char* from = static_cast<const char*>(areas[0].addr) + (areas[0].first + areas[0].step * offset) / 8;
    card.written.insert(card.written.end(), from, from + size * frameBytes(io));
    return snd_pcm_sframes_t(size);
}

int prepare(snd_pcm_ioplug_t* io)
{
    Card& card = cardOf(io);
    if (card.running && playedFrames(card) < writtenFrames(card))
        return -EBUSY;
    card.running = false;
    card.written.clear();
    return 0;
}

int delay(snd_pcm_ioplug_t* io, snd_pcm_sframes_t* frames)
{
    const Card& card = cardOf(io);
    *frames = snd_pcm_sframes_t(writtenFrames(card) - playedFrames(card));
    return 0;
}

int close(snd_pcm_ioplug_t* io)
{
    Card* card = &cardOf(io);
    stop(io);
    ::close(card->io.poll_fd);
    delete card;
    return 0;
}

const snd_pcm_ioplug_callback_t Callbacks = {
    .start = start,
    .stop = stop,
    .pointer = pointer,
    .transfer = transfer,
    .close = close,
    .prepare = prepare,
    .delay = delay,
};

}  // namespace

extern "C" SND_PCM_PLUGIN_DEFINE_FUNC(vtclocked)
{
    (void)root;
    std::string file;
    snd_config_iterator_t i, next;
    snd_config_for_each(i, next, conf)
    {
        snd_config_t* entry = snd_config_iterator_entry(i);
        const char* id = nullptr;
        const char* value = nullptr;
        if (snd_config_get_id(entry, &id) < 0)
            continue;
        if (std::string(id) == "file" && snd_config_get_string(entry, &value) >= 0)
            file = value;
    }
    if (file.empty() || stream != SND_PCM_STREAM_PLAYBACK)
        return -EINVAL;

    auto* card = new Card;
    card->file = file;
    card->io.version = SND_PCM_IOPLUG_VERSION;
    card->io.name = "Veltrana test card, played by the clock";
    card->io.flags = SND_PCM_IOPLUG_FLAG_MONOTONIC;
    // always ready for more: the buffer is larger than anything the tests write at once
    card->io.poll_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    card->io.poll_events = POLLOUT;
    card->io.callback = &Callbacks;
    card->io.private_data = card;
    int err = snd_pcm_ioplug_create(&card->io, name, stream, mode);
    if (err < 0) {
        ::close(card->io.poll_fd);
        delete card;
        return err;
    }
    static const unsigned int access[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
    static const unsigned int formats[] = {SND_PCM_FORMAT_S16};
    if ((err = snd_pcm_ioplug_set_param_list(&card->io, SND_PCM_IOPLUG_HW_ACCESS, 1, access)) < 0 ||
        (err = snd_pcm_ioplug_set_param_list(&card->io, SND_PCM_IOPLUG_HW_FORMAT, 1, formats)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(&card->io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 8)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(&card->io, SND_PCM_IOPLUG_HW_RATE, 8000, 192000)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(&card->io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64, 1 << 20)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(&card->io, SND_PCM_IOPLUG_HW_PERIODS, 2, 1024)) < 0) {
        snd_pcm_ioplug_delete(&card->io);
        return err;
    }
    *pcmp = card->io.pcm;
    return 0;
}

extern "C" {
SND_PCM_PLUGIN_SYMBOL(vtclocked)
}
