// Cross-coupled (ping-pong) stereo delay with a common pre-delay.
//
// The pre-delayed mono sum feeds the left line, the left line's output feeds
// the right line, and the right line's output returns into the left line
// through the feedback gain. Each line has its own time and pan; the times can
// follow the host tempo in sixteenth notes. The wet signal is added to the dry
// signal, which always passes at full level.
#pragma once

#include <cstdint>
#include <memory>

class CStereoDelay {
public:
    // Reserves 4 s buffers for 44100 Hz (untouched until the delay runs). Defaults: off, pre time
    // 100 and line times 1300 (both limited to 3998 ms), pans centred, feedback 0.5, balance 0.5,
    // wet 0.7, sync off, tempo 120.
    CStereoDelay();
    virtual ~CStereoDelay() = default;

    // Setters: between blocks (the renderer applies values at a block's start);
    // no locks, no allocation except where
    // noted. v is the normalised patch value, limited to 0..1 (NaN gives 0).
    // Times: free, time^2 x 1298 ms (+ 1 ms for the lines); with sync, the
    // lines span 1..8 sixteenth notes and the pre-delay 0..8.
    void setPreTime(double v);
    void setLeftTime(double v);
    void setLeftPan(double v); // 0 hard left .. 1 hard right
    void setRightTime(double v);
    void setRightPan(double v); // 0 hard left .. 1 hard right
    void setFeedback(double v); // right line back into the left line, v x 0.99
    void setBalance(double v);  // 0 only the pre-delayed dry, 1 only the lines
    void setWet(double v);      // wet gain v^2
    void setSync(double v);     // on above 0.5
    // On from 0.5; switching also forgets the buffers' contents so that old
    // echoes do not return.
    void setOn(double v);
    // Beats per minute, limited to 10..300 (NaN ignored).
    void setTempo(double bpm);

    // Control thread, never while process runs: reallocates the buffers for
    // `rate` Hz (8000..384000) when their size changes, forgets their contents
    // and restarts every position.
    void setSampleRate(double rate);
    // Control thread: recomputes the derived values and forgets the buffers'
    // contents.
    void reset();

    // Value IDs 3..12 in their patch order (pre time, left time, left pan,
    // right time, right pan, feedback, balance, wet, sync, on); false for any
    // other ID.
    bool applyValue(int32_t id, double x);

    // Audio thread: no allocation, no locks. In place; any frame count.
    void process(float* left, float* right, int32_t frames);

    // Line lengths in samples; a line of length L delays by L + 1 samples.
    int32_t preLength() const { return preLen; }
    int32_t leftLength() const { return leftLen; }
    int32_t rightLength() const { return rightLen; }
    bool isOn() const { return on; }

private:
    void updateDerived();
    void refill();
    void guardAhead(float* first, float* second, int32_t& filled, int32_t position, int32_t length,
                    int32_t frames) const;

    // A buffer's samples from `filled` on hold nothing the delay wrote since
    // the last refill: they read as the guard pattern, which process writes
    // just before the positions it is about to visit. So refilling costs
    // nothing, and memory is touched only as far as the lines reach.
    std::unique_ptr<float[]> preLeft, preRight, lineLeft, lineRight;
    int32_t capacity = 0;
    int32_t preFilled = 0, leftFilled = 0, rightFilled = 0;
    int32_t prePos = 0, leftPos = 0, rightPos = 0;
    int32_t preLen = 3, leftLen = 3, rightLen = 3;

    float dryThrough = 0.0f;
    float leftToLeft = 0.0f, leftToRight = 0.0f, rightToRight = 0.0f, rightToLeft = 0.0f;
    float wetGain = 0.0f, feedbackGain = 0.0f;

    double sampleRate = 0.0;
    double preTime = 100.0, leftTime = 1300.0, leftPan = 0.0, rightTime = 1300.0, rightPan = 0.0;
    double feedback = 0.5, balance = 0.5, wet = 0.7;
    double tempo = 120.0;
    bool sync = false;
    bool on = false;
};
