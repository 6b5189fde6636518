// Playback position, on one of two time sources.
//
// Without sound it is the wall clock: the position counts up from where it
// was started. While a file's sound plays (followSound(true)) it follows the
// sound that is actually heard: the audio output reports, every few ms, which
// media time leaves the speaker now (reportHeard), and the position runs on
// the wall clock between reports, pulled towards each one. A started clock
// stands until the first report arrives, so the picture waits for the sound
// instead of running ahead of the output's start-up latency; an output that
// never reports (no device) releases it after soundWaitMs.
//
// Written on the engine's owner thread (start, pause, positions) and by the
// audio output's thread (reports); read by the ticker, the demux thread and the
// owner. One mutex guards every member, so each operation is atomic as a
// whole. A duration of 0 means the length is unknown: the position is then
// never limited and the end is never reached.
#pragma once

#include <cstdint>
#include <mutex>

class PlaybackClock {
public:
    explicit PlaybackClock(uint64_t durationMs);

    void reset(uint64_t durationMs);
    void start();
    void pause();
    // Stops the clock at ms in one step (a stop or a seek).
    void pauseAt(uint64_t ms);
    void setPosition(uint64_t ms);
    uint64_t currentPosition() const;
    uint64_t duration() const;
    // Lengthens a known duration to ms (media found to go on past the length
    // the file announced); an unknown one stays unknown. Never shortens it.
    void extendDuration(uint64_t ms);
    bool reachedEnd() const;
    bool isRunning() const;

    // Whether the position follows the reports of the sound output.
    void followSound(bool on);
    // The media time (ms) heard at this instant. Ignored unless the clock
    // runs and follows the sound.
    void reportHeard(double heardMs);

    // How long a started clock waits for the sound before it runs alone. A
    // sound server may hold a new stream back for up to 2 s (a sink that had
    // rendered ahead while nobody played); only an output that does not play
    // at all takes longer.
    static constexpr int64_t soundWaitMs = 2500;
    // A report further than this from the clock moves it at once; nearer
    // ones move it by a fraction (jitter of the output's fill level is
    // smoothed away, drift between the two clocks is followed).
    static constexpr double snapMs = 80.0;
    static constexpr double pullFraction = 0.1;

private:
    static int64_t nowNs();
    double positionLocked() const;

    mutable std::mutex lock;
    uint64_t durationMs;     // guarded by lock
    double position;         // guarded by lock; ms at startedAt
    bool running;            // guarded by lock
    int64_t startedAt;       // guarded by lock; steady clock, ns
    bool soundLed = false;   // guarded by lock
    bool waitingForSound = false; // guarded by lock: started, no report yet
    mutable double lastRead = 0;  // guarded by lock: a running clock never reads backwards
};
