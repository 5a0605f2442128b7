// quellor-jack-record: records what other JACK clients play, in floating
// point as they play it, and says how loud it was. The Qtractor test joins it
// to Qtractor's master outputs, so a plug-in's sound is measured where a user
// would hear it, before any conversion to integers could hide a sample that
// is not a number or one above full scale.
//
// Usage: quellor-jack-record [--start-transport] SECONDS OUT.wav PORT...
// Each PORT (for example "Qtractor:Master/out_1") is recorded into one channel
// of OUT.wav (32-bit float). With --start-transport the recorder locates
// JACK's transport to its start and starts it, which starts every client that
// follows JACK's transport (Qtractor does by default); the recording begins
// with the first block the transport rolls in, and the transport stops at its
// end. The last line on standard output reads
//   frames=N peak=P rms=R nonfinite=K first=F
// with P and R linear over every channel, K the samples that were not finite
// and F the first frame above -60 dBFS (-1 when none).
#include "support/SndfileWriter.h"

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kMaxChannels = 8;
constexpr float kAudibleLevel = 0.001f; // -60 dBFS

struct Recording {
    jack_port_t* ports[kMaxChannels] = {};
    int channels = 0;
    std::vector<float> interleaved; // sized before the client starts
    size_t framesWanted = 0;
    std::atomic<size_t> framesDone{0};
    jack_client_t* client = nullptr;
    bool fromRolling = false; // the recording begins with the first block the transport rolls in
};

// JACK's process thread: copies the block into the buffer sized beforehand.
int process(jack_nframes_t frames, void* arg) {
    auto* rec = static_cast<Recording*>(arg);
    const size_t done = rec->framesDone.load(std::memory_order_relaxed);
    if (done == 0 && rec->fromRolling &&
        jack_transport_query(rec->client, nullptr) != JackTransportRolling) {
        return 0;
    }
    const size_t take = std::min(size_t(frames), rec->framesWanted - done);
    for (int c = 0; c < rec->channels; ++c) {
        const auto* in = static_cast<const float*>(jack_port_get_buffer(rec->ports[c], frames));
        for (size_t i = 0; i < take; ++i) {
            rec->interleaved[(done + i) * size_t(rec->channels) + size_t(c)] = in[i];
        }
    }
    rec->framesDone.store(done + take, std::memory_order_release);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool startTransport = argc > 1 && std::string(argv[1]) == "--start-transport";
    if (startTransport) {
        --argc;
        ++argv;
    }
    if (argc < 4 || argc - 3 > kMaxChannels) {
        std::fprintf(stderr,
                     "usage: quellor-jack-record [--start-transport] SECONDS OUT.wav PORT... "
                     "(1 to %d ports)\n",
                     kMaxChannels);
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    const std::string outPath = argv[2];

    jack_status_t status{};
    jack_client_t* client = jack_client_open("quellor-record", JackNoStartServer, &status);
    if (client == nullptr) {
        std::fprintf(stderr, "quellor-jack-record: no JACK server to join (status 0x%x)\n",
                     unsigned(status));
        return 1;
    }
    const int rate = int(jack_get_sample_rate(client));

    Recording rec;
    rec.channels = argc - 3;
    rec.framesWanted = size_t(seconds * rate);
    rec.interleaved.assign(rec.framesWanted * size_t(rec.channels), 0.0f);
    for (int c = 0; c < rec.channels; ++c) {
        const std::string name = "in_" + std::to_string(c + 1);
        rec.ports[c] =
            jack_port_register(client, name.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        if (rec.ports[c] == nullptr) {
            std::fprintf(stderr, "quellor-jack-record: cannot make the port %s\n", name.c_str());
            jack_client_close(client);
            return 1;
        }
    }
    rec.client = client;
    rec.fromRolling = startTransport;
    jack_set_process_callback(client, process, &rec);
    if (jack_activate(client) != 0) {
        std::fprintf(stderr, "quellor-jack-record: JACK does not start the client\n");
        jack_client_close(client);
        return 1;
    }
    for (int c = 0; c < rec.channels; ++c) {
        if (jack_connect(client, argv[3 + c], jack_port_name(rec.ports[c])) != 0) {
            std::fprintf(stderr, "quellor-jack-record: cannot connect %s\n", argv[3 + c]);
            jack_client_close(client);
            return 1;
        }
    }

    if (startTransport) {
        jack_transport_locate(client, 0);
        jack_transport_start(client);
    }

    // The dummy backend runs in real time; allow it twice the time and a few seconds.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(int(seconds * 2000) + 5000);
    while (rec.framesDone.load(std::memory_order_acquire) < rec.framesWanted &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (startTransport) jack_transport_stop(client);
    jack_deactivate(client);
    jack_client_close(client);
    const size_t frames = rec.framesDone.load(std::memory_order_acquire);
    rec.interleaved.resize(frames * size_t(rec.channels));

    float peak = 0.0f;
    double sumSquares = 0.0;
    size_t nonFinite = 0;
    long firstAudible = -1;
    for (size_t i = 0; i < rec.interleaved.size(); ++i) {
        const float s = rec.interleaved[i];
        if (!std::isfinite(s)) {
            ++nonFinite;
            continue;
        }
        peak = std::max(peak, std::fabs(s));
        sumSquares += double(s) * double(s);
        if (firstAudible < 0 && std::fabs(s) > kAudibleLevel) {
            firstAudible = long(i / size_t(rec.channels));
        }
    }
    const double rms =
        rec.interleaved.empty() ? 0.0 : std::sqrt(sumSquares / double(rec.interleaved.size()));
    if (!writeSndfile(outPath, SF_FORMAT_WAV | SF_FORMAT_FLOAT, rec.channels, rate,
                      rec.interleaved)) {
        std::fprintf(stderr, "quellor-jack-record: cannot write %s\n", outPath.c_str());
    }
    std::printf("frames=%zu peak=%.6f rms=%.6f nonfinite=%zu first=%ld\n", frames, double(peak),
                rms, nonFinite, firstAudible);
    return frames == rec.framesWanted ? 0 : 1;
}
