// A stand-in for the ALSA sequencer, preloaded (LD_PRELOAD) into Qtractor on
// machines that have no /dev/snd/seq, such as containers. Qtractor's engine
// refuses to start without a sequencer client, although the test only needs
// what Qtractor does without one: read a MIDI clip, hand its events to the
// track's plug-ins and mix their sound into JACK.
//
// Every libasound call that would reach the device through a snd_seq_t is
// answered here: opening gives a handle of ours, ports and queues succeed,
// nothing ever arrives as input (the poll descriptor is a pipe nobody writes
// to), output is dropped, and queries find no other client. The queue keeps
// time as a real one does, in ticks from the tempo and resolution it was
// given, running on the monotonic clock while started: Qtractor reads it to
// correct the sequencer's drift from the audio clock and to time note-offs
// for sequencer ports. What Qtractor hands to a track's plug-ins does not
// depend on it. The accessors of the info records (snd_seq_*_get/set/sizeof)
// and the MIDI event coder stay libasound's own: they touch no device.
//
// QUELLOR_SEQ_TRACE=FILE in the environment appends each call to FILE, but
// for the frequent event, drain and queue status calls.
#include <alsa/asoundlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The client number the kernel gives the first user client.
constexpr int kClientId = 128;
constexpr int kMaxPorts = 64;
constexpr int kMaxQueues = 4;
constexpr unsigned kDefaultTempoUs = 500000; // 120 beats per minute
constexpr int kDefaultPpq = 96;
constexpr unsigned kSkewBase = 0x10000; // a skew of kSkewBase runs at the tempo as given

struct Port {
    bool used = false;
    char name[64] = {};
    unsigned capability = 0;
    unsigned type = 0;
};

struct Queue {
    bool used = false;
    unsigned tempoUs = kDefaultTempoUs;
    int ppq = kDefaultPpq;
    unsigned skew = kSkewBase;
    bool running = false;
    double ticksAtStart = 0; // the position when the clock last (re)started or stopped
    double startSeconds = 0; // the monotonic time it last (re)started
};

} // namespace

// The handle the host holds; libasound never sees it.
struct _snd_seq {
    int pipeFds[2] = {-1, -1};
    char clientName[64] = "Client-128";
    Port ports[kMaxPorts];
    Queue queues[kMaxQueues];
};

namespace {

// The kernel's snd_seq_queue_status record, which libasound hands out as is
// and offers no setters for.
struct QueueStatusRecord {
    int queue;
    int events;
    snd_seq_tick_time_t tick;
    struct {
        unsigned int tv_sec;
        unsigned int tv_nsec;
    } time;
    int running;
    int flags;
    char reserved[64];
};

void trace(const char* call, long a = 0, long b = 0) {
    static FILE* const log = [] {
        const char* path = std::getenv("QUELLOR_SEQ_TRACE");
        return path != nullptr ? std::fopen(path, "a") : nullptr;
    }();
    if (log == nullptr) return;
    std::fprintf(log, "%s(%ld, %ld)\n", call, a, b);
    std::fflush(log);
}

double nowSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double ticksPerSecond(const Queue& q) {
    return 1e6 / double(q.tempoUs) * double(q.ppq) * (double(q.skew) / double(kSkewBase));
}

double currentTicks(const Queue& q) {
    if (!q.running) return q.ticksAtStart;
    return q.ticksAtStart + (nowSeconds() - q.startSeconds) * ticksPerSecond(q);
}

// Folds the time run so far into the position, so that a new tempo applies from now on.
void restartClock(Queue& q) {
    q.ticksAtStart = currentTicks(q);
    q.startSeconds = nowSeconds();
}

Queue* queueOf(snd_seq_t* seq, int q) {
    if (seq == nullptr || q < 0 || q >= kMaxQueues || !seq->queues[q].used) return nullptr;
    return &seq->queues[q];
}

bool validPort(snd_seq_t* seq, int port) {
    return seq != nullptr && port >= 0 && port < kMaxPorts && seq->ports[port].used;
}

void copyName(char (&to)[64], const char* from) {
    std::snprintf(to, sizeof to, "%s", from != nullptr ? from : "");
}

} // namespace

STANDIN_EXPORT int snd_seq_open(snd_seq_t** handle, const char* name, int streams, int mode) {
    trace("snd_seq_open", streams, mode);
    (void)name;
    if (handle == nullptr) return -EINVAL;
    auto* seq = new snd_seq_t;
    if (pipe2(seq->pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        delete seq;
        return -errno;
    }
    *handle = seq;
    return 0;
}

STANDIN_EXPORT int snd_seq_close(snd_seq_t* seq) {
    trace("snd_seq_close");
    if (seq == nullptr) return -EINVAL;
    close(seq->pipeFds[0]);
    close(seq->pipeFds[1]);
    delete seq;
    return 0;
}

STANDIN_EXPORT int snd_seq_client_id(snd_seq_t* seq) {
    return seq != nullptr ? kClientId : -EINVAL;
}

STANDIN_EXPORT int snd_seq_set_client_name(snd_seq_t* seq, const char* name) {
    trace("snd_seq_set_client_name");
    if (seq == nullptr) return -EINVAL;
    copyName(seq->clientName, name);
    return 0;
}

// ---- ports ----

STANDIN_EXPORT int snd_seq_create_simple_port(snd_seq_t* seq, const char* name, unsigned caps,
                                              unsigned type) {
    trace("snd_seq_create_simple_port", long(caps), long(type));
    if (seq == nullptr) return -EINVAL;
    for (int p = 0; p < kMaxPorts; ++p) {
        Port& port = seq->ports[p];
        if (port.used) continue;
        port.used = true;
        copyName(port.name, name);
        port.capability = caps;
        port.type = type;
        return p;
    }
    return -ENOMEM;
}

STANDIN_EXPORT int snd_seq_delete_simple_port(snd_seq_t* seq, int port) {
    trace("snd_seq_delete_simple_port", port);
    if (!validPort(seq, port)) return -ENOENT;
    seq->ports[port] = Port{};
    return 0;
}

STANDIN_EXPORT int snd_seq_get_port_info(snd_seq_t* seq, int port, snd_seq_port_info_t* info) {
    trace("snd_seq_get_port_info", port);
    if (!validPort(seq, port) || info == nullptr) return -ENOENT;
    const Port& p = seq->ports[port];
    snd_seq_port_info_set_client(info, kClientId);
    snd_seq_port_info_set_port(info, port);
    snd_seq_port_info_set_name(info, p.name);
    snd_seq_port_info_set_capability(info, p.capability);
    snd_seq_port_info_set_type(info, p.type);
    return 0;
}

STANDIN_EXPORT int snd_seq_set_port_info(snd_seq_t* seq, int port, snd_seq_port_info_t* info) {
    trace("snd_seq_set_port_info", port);
    if (!validPort(seq, port) || info == nullptr) return -ENOENT;
    Port& p = seq->ports[port];
    copyName(p.name, snd_seq_port_info_get_name(info));
    p.capability = snd_seq_port_info_get_capability(info);
    p.type = snd_seq_port_info_get_type(info);
    return 0;
}

STANDIN_EXPORT int snd_seq_get_any_port_info(snd_seq_t* seq, int client, int port,
                                             snd_seq_port_info_t* info) {
    trace("snd_seq_get_any_port_info", client, port);
    if (client != kClientId) return -ENOENT;
    return snd_seq_get_port_info(seq, port, info);
}

STANDIN_EXPORT int snd_seq_get_any_client_info(snd_seq_t* seq, int client,
                                               snd_seq_client_info_t* info) {
    trace("snd_seq_get_any_client_info", client);
    if (seq == nullptr || info == nullptr || client != kClientId) return -ENOENT;
    snd_seq_client_info_set_client(info, kClientId);
    snd_seq_client_info_set_name(info, seq->clientName);
    return 0;
}

// No other client, port or subscriber is there to find.
STANDIN_EXPORT int snd_seq_query_next_client(snd_seq_t*, snd_seq_client_info_t*) {
    trace("snd_seq_query_next_client");
    return -ENOENT;
}

STANDIN_EXPORT int snd_seq_query_next_port(snd_seq_t*, snd_seq_port_info_t*) {
    trace("snd_seq_query_next_port");
    return -ENOENT;
}

STANDIN_EXPORT int snd_seq_query_port_subscribers(snd_seq_t*, snd_seq_query_subscribe_t*) {
    trace("snd_seq_query_port_subscribers");
    return -ENOENT;
}

// A subscription would join our ports to ports that do not exist; it is
// taken and nothing ever flows through it.
STANDIN_EXPORT int snd_seq_subscribe_port(snd_seq_t* seq, snd_seq_port_subscribe_t*) {
    trace("snd_seq_subscribe_port");
    return seq != nullptr ? 0 : -EINVAL;
}

STANDIN_EXPORT int snd_seq_unsubscribe_port(snd_seq_t* seq, snd_seq_port_subscribe_t*) {
    trace("snd_seq_unsubscribe_port");
    return seq != nullptr ? 0 : -EINVAL;
}

// ---- queues ----

STANDIN_EXPORT int snd_seq_alloc_queue(snd_seq_t* seq) {
    trace("snd_seq_alloc_queue");
    if (seq == nullptr) return -EINVAL;
    for (int q = 0; q < kMaxQueues; ++q) {
        if (seq->queues[q].used) continue;
        seq->queues[q] = Queue{};
        seq->queues[q].used = true;
        return q;
    }
    return -ENOMEM;
}

STANDIN_EXPORT int snd_seq_free_queue(snd_seq_t* seq, int q) {
    trace("snd_seq_free_queue", q);
    Queue* queue = queueOf(seq, q);
    if (queue == nullptr) return -EINVAL;
    *queue = Queue{};
    return 0;
}

STANDIN_EXPORT int snd_seq_set_queue_tempo(snd_seq_t* seq, int q, snd_seq_queue_tempo_t* tempo) {
    trace("snd_seq_set_queue_tempo", q);
    Queue* queue = queueOf(seq, q);
    if (queue == nullptr || tempo == nullptr) return -EINVAL;
    restartClock(*queue);
    if (snd_seq_queue_tempo_get_tempo(tempo) > 0)
        queue->tempoUs = snd_seq_queue_tempo_get_tempo(tempo);
    if (snd_seq_queue_tempo_get_ppq(tempo) > 0) queue->ppq = snd_seq_queue_tempo_get_ppq(tempo);
    const unsigned skewBase = snd_seq_queue_tempo_get_skew_base(tempo);
    const unsigned skew = snd_seq_queue_tempo_get_skew(tempo);
    if (skewBase > 0 && skew > 0) {
        queue->skew = unsigned(uint64_t(skew) * kSkewBase / skewBase);
    }
    trace("  tempo (us), ppq", long(queue->tempoUs), queue->ppq);
    return 0;
}

STANDIN_EXPORT int snd_seq_get_queue_tempo(snd_seq_t* seq, int q, snd_seq_queue_tempo_t* tempo) {
    trace("snd_seq_get_queue_tempo", q);
    Queue* queue = queueOf(seq, q);
    if (queue == nullptr || tempo == nullptr) return -EINVAL;
    snd_seq_queue_tempo_set_tempo(tempo, queue->tempoUs);
    snd_seq_queue_tempo_set_ppq(tempo, queue->ppq);
    snd_seq_queue_tempo_set_skew_base(tempo, kSkewBase);
    snd_seq_queue_tempo_set_skew(tempo, queue->skew);
    return 0;
}

STANDIN_EXPORT int snd_seq_set_queue_timer(snd_seq_t* seq, int q, snd_seq_queue_timer_t*) {
    trace("snd_seq_set_queue_timer", q);
    return queueOf(seq, q) != nullptr ? 0 : -EINVAL;
}

STANDIN_EXPORT int snd_seq_control_queue(snd_seq_t* seq, int q, int type, int value,
                                         snd_seq_event_t*) {
    trace("snd_seq_control_queue", type, value);
    Queue* queue = queueOf(seq, q);
    if (queue == nullptr) return -EINVAL;
    switch (type) {
    case SND_SEQ_EVENT_START:
        queue->ticksAtStart = 0;
        queue->startSeconds = nowSeconds();
        queue->running = true;
        break;
    case SND_SEQ_EVENT_CONTINUE:
        if (!queue->running) {
            queue->startSeconds = nowSeconds();
            queue->running = true;
        }
        break;
    case SND_SEQ_EVENT_STOP:
        queue->ticksAtStart = currentTicks(*queue);
        queue->running = false;
        break;
    case SND_SEQ_EVENT_SETPOS_TICK:
        queue->ticksAtStart = double(unsigned(value));
        queue->startSeconds = nowSeconds();
        break;
    case SND_SEQ_EVENT_TEMPO:
        if (value > 0) {
            restartClock(*queue);
            queue->tempoUs = unsigned(value);
        }
        break;
    default:
        break;
    }
    return 0;
}

STANDIN_EXPORT int snd_seq_get_queue_status(snd_seq_t* seq, int q, snd_seq_queue_status_t* status) {
    Queue* queue = queueOf(seq, q);
    if (queue == nullptr || status == nullptr) return -EINVAL;
    if (snd_seq_queue_status_sizeof() != sizeof(QueueStatusRecord)) return -ENXIO;
    QueueStatusRecord record{};
    record.queue = q;
    const double ticks = currentTicks(*queue);
    record.tick = snd_seq_tick_time_t(ticks);
    const double seconds = ticks / ticksPerSecond(*queue);
    record.time.tv_sec = unsigned(seconds);
    record.time.tv_nsec = unsigned((seconds - double(record.time.tv_sec)) * 1e9);
    record.running = queue->running ? 1 : 0;
    std::memcpy(static_cast<void*>(status), &record, sizeof record);
    return 0;
}

// ---- events: output is dropped, input never comes ----

STANDIN_EXPORT int snd_seq_event_output(snd_seq_t* seq, snd_seq_event_t*) {
    return seq != nullptr ? 0 : -EINVAL;
}

STANDIN_EXPORT int snd_seq_event_output_direct(snd_seq_t* seq, snd_seq_event_t*) {
    return seq != nullptr ? 0 : -EINVAL;
}

STANDIN_EXPORT int snd_seq_drain_output(snd_seq_t* seq) {
    return seq != nullptr ? 0 : -EINVAL;
}

STANDIN_EXPORT int snd_seq_drop_output(snd_seq_t* seq) {
    return seq != nullptr ? 0 : -EINVAL;
}

STANDIN_EXPORT int snd_seq_drop_input(snd_seq_t* seq) {
    return seq != nullptr ? 0 : -EINVAL;
}

STANDIN_EXPORT int snd_seq_remove_events(snd_seq_t* seq, snd_seq_remove_events_t*) {
    return seq != nullptr ? 0 : -EINVAL;
}

STANDIN_EXPORT int snd_seq_event_input(snd_seq_t*, snd_seq_event_t** ev) {
    if (ev != nullptr) *ev = nullptr;
    return -EAGAIN;
}

STANDIN_EXPORT int snd_seq_event_input_pending(snd_seq_t*, int) {
    return 0;
}

STANDIN_EXPORT int snd_seq_poll_descriptors_count(snd_seq_t* seq, short) {
    return seq != nullptr ? 1 : 0;
}

STANDIN_EXPORT int snd_seq_poll_descriptors(snd_seq_t* seq, struct pollfd* pfds, unsigned int space,
                                            short events) {
    trace("snd_seq_poll_descriptors", long(space), events);
    if (seq == nullptr || pfds == nullptr || space < 1) return 0;
    pfds[0].fd = seq->pipeFds[0];
    pfds[0].events = short(events & POLLIN);
    pfds[0].revents = 0;
    return 1;
}
