#include "voice/CEnvelope.h"

#include "base/Clamp.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

// Steepest curves scale the exponent by 10: 40 x 0.5^2.
constexpr double kCurveSteepness = 40.0;
// The longest span an envelope can cover; a larger step cannot land anywhere new, and bounding it
// keeps the segment walk finite whatever time step arrives.
constexpr double kMaxStep = kEnvelopeMaxPoints * CEnvelope::kMaxDelta;
constexpr double kLevelStep = 1.0 / CEnvelope::kLevelResolution;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

int clampInt(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

int clampKind(int32_t kind) {
    return clampInt(kind, 0, kTargetKindCount - 1);
}

// "%.2f"-style text with the caller's decimal separator; the process locale is never touched,
// and whatever separator the C library used is replaced (the literal parts hold none).
void formatWithSeparator(char* text, size_t capacity, char decimalSeparator, const char* format,
                         double a, double b = 0.0, double c = 0.0) {
    if (text == nullptr || capacity == 0) return;
    std::snprintf(text, capacity, format, a, b, c);
    for (char* p = text; *p != '\0'; ++p) {
        if (*p == '.' || *p == ',') *p = decimalSeparator;
    }
}

void copyText(char* text, size_t capacity, const char* source) {
    if (text == nullptr || capacity == 0) return;
    std::snprintf(text, capacity, "%s", source);
}

} // namespace

bool isDestinationAllowed(int32_t kind, int destination) {
    const int d = clampInt(destination, 0, kEnvelopeDestinationCount - 1);
    return (kTargetKindDestinations[clampKind(kind)] >> d) & 1u;
}

CEnvelope::CEnvelope() {
    timeGrid = kDefaultTimeGrid;
    timeInSegment = 0.0;
    currentSegment = 0;
    rate = 1.0;
    minimumPointCount = kModulationMinimumPoints;
    loopEnabled = true;
    keyTableCurve = false;
    reset(true);
}

int CEnvelope::clampIndex(int index) const {
    return clampInt(index, 0, safePointCount() - 1);
}

void CEnvelope::reset(bool clearRouting) {
    selectedPoint = 0;
    for (EnvelopePoint& p : points)
        p = EnvelopePoint{};
    if (clearRouting) {
        for (double& d : depths)
            d = 0.0;
        targetKind = kTargetAmplitude;
    }
    controller = kNoController;
    rateKeyTracking = 0.0;
    rateVelocitySensitivity = 0.0;
    pointCount = 3;
    freeRunning = false;
    tempoSync = false;
    keepFollowing = false;
    bipolar = false;
    keyed = true;
    loopStart = 1;
    loopEnd = 1;
    points[0] = {1.0, 0.0, 0.5, 0.001, 0.0};
    points[1] = {1.0, 0.0, 0.5, 0.5, 0.0};
    points[2] = {0.0, 0.0, 0.5, 0.001, 0.0};
    if (keyTableCurve) {
        makeKeyTableDefault();
    } else {
        recompute();
    }
}

void CEnvelope::makeKeyTableDefault() {
    keyTableCurve = true;
    keepFollowing = true;
    loopEnabled = false;
    minimumPointCount = kCurveMinimumPoints;
    pointCount = 2;
    timeGrid = kKeyTableTimeGrid;
    points[0] = {1.0, 0.0, 0.5, 1.0, 0.0};
    points[1] = {1.0, 0.0, 0.5, 1.0, 0.0};
    recompute();
}

void CEnvelope::recompute() {
    // Loaded records may carry anything: bring the structure into range before walking it.
    if (!(timeGrid > 0.0) || !std::isfinite(timeGrid)) timeGrid = kDefaultTimeGrid;
    minimumPointCount = clampInt(minimumPointCount, kCurveMinimumPoints, kModulationMinimumPoints);
    pointCount = safePointCount();
    const int last = pointCount - 1;
    loopEnd = clampInt(loopEnd, 1, last);
    loopStart = clampInt(loopStart, 1, loopEnd);
    selectedPoint = clampIndex(selectedPoint);

    double previousLevel = points[last].level;
    double time = 0.0;
    for (int i = 0; i < pointCount; ++i) {
        EnvelopePoint& p = points[i];
        const double q = std::isfinite(p.delta) ? p.delta / timeGrid : 1.0;
        double n = std::max(1.0, std::trunc(q));
        if (q - n > 0.5) n += 1.0;
        p.delta = n * timeGrid;
        time += p.delta;
        p.endTime = time;
        p.level = std::trunc(clampValue(p.level, 0.0, 1.0) * kLevelResolution) * kLevelStep;
        p.curve = clampValue(p.curve, 0.0, 1.0);
        p.startLevel = clampValue(previousLevel, 0.0, 1.0);
        previousLevel = p.level;
        if (loopEnabled && i == loopEnd) {
            loopBack = points[loopStart];
            loopBack.startLevel = p.level;
        }
    }

    start(0.0);
    if (keyTableCurve) {
        for (double& k : keyTable)
            k = evaluate(kKeyTableTimeGrid, false);
    }
}

void CEnvelope::setLevel(int index, double v) {
    points[clampIndex(index)].level = clampValue(v, 0.0, 1.0);
    recompute();
}

void CEnvelope::setLastLevel(double v) {
    setLevel(safePointCount() - 1, v);
}

void CEnvelope::setCurve(int index, double v) {
    points[clampIndex(index)].curve = clampValue(v, 0.0, 1.0);
    recompute();
}

void CEnvelope::setDelta(int index, double v) {
    const int i = clampIndex(index);
    double d = clampValue(v, timeGrid, kMaxDelta);
    if (keepFollowing && i < safePointCount() - 1) {
        // The next point keeps its end time: this segment takes time from it or gives time to it.
        const double e = points[i + 1].endTime;
        const double b = i > 0 ? points[i - 1].endTime : 0.0;
        d = std::min(d, e - b - timeGrid);
        points[i + 1].delta = std::min(e - b - d, kMaxDelta);
    }
    points[i].delta = d;
    recompute();
}

void CEnvelope::setLoopStart(int index) {
    if (!loopEnabled) return;
    loopStart = clampInt(clampInt(index, 1, loopEnd), 1, safePointCount() - 1);
    recompute();
}

void CEnvelope::setLoopEnd(int index) {
    if (!loopEnabled) return;
    loopEnd = std::max(clampInt(index, 1, safePointCount() - 1), loopStart);
    recompute();
}

void CEnvelope::insertPoint(int index) {
    if (pointCount >= kEnvelopeMaxPoints) return;
    const int i = clampIndex(index);
    for (int j = pointCount; j > i; --j)
        points[j] = points[j - 1];
    ++pointCount;
    points[i + 1].curve = 0.5;
    if (loopEnabled) {
        if (i < loopStart) ++loopStart;
        if (i <= loopEnd) ++loopEnd;
    }
    recompute();
}

void CEnvelope::deletePoint(int index) {
    if (pointCount <= minimumPointCount) return;
    const int i = clampIndex(index);
    if (i < pointCount - 1) points[i + 1].delta += points[i].delta;
    for (int j = i; j < pointCount - 1; ++j)
        points[j] = points[j + 1];
    --pointCount;
    if (loopEnabled) {
        if (i < loopStart) --loopStart;
        if (i <= loopEnd) --loopEnd;
        loopEnd = std::min(loopEnd, pointCount - 1);
        loopStart = std::min(loopStart, loopEnd);
        loopStart = std::max(loopStart, 1);
        loopEnd = std::max(loopEnd, loopStart);
    }
    recompute();
}

int CEnvelope::addPointAtTime(double t) {
    if (!(t >= 0.0)) return 0;
    const int count = safePointCount();
    int i = 0;
    while (i < count && points[i].endTime < t)
        ++i;
    if (i >= kEnvelopeMaxPoints) return kEnvelopeMaxPoints - 1;
    // A full envelope cannot take the point; moving the existing ones instead would lose data.
    if (count >= kEnvelopeMaxPoints) return -1;
    if (i == count) {
        // Beyond the end: duplicate the last point one grid step after it.
        insertPoint(count - 1);
        const bool keep = keepFollowing;
        keepFollowing = false;
        setDelta(count, timeGrid);
        keepFollowing = keep;
        return count;
    }
    if (keepFollowing && std::fabs(t - points[i].endTime) <= timeGrid) return -1;

    const double oldEnd = points[i].endTime;
    insertPoint(i);
    const bool keep = keepFollowing;
    keepFollowing = false;
    setDelta(i, t - (i > 0 ? points[i - 1].endTime : 0.0));
    setDelta(i + 1, oldEnd - points[i].endTime);
    keepFollowing = keep;
    return i;
}

void CEnvelope::setDepth(int destination, double value) {
    const int d = clampInt(destination, 0, kEnvelopeSampleDestination);
    if (!isDestinationAllowed(targetKind, d)) return;
    depths[d] = value;
    clampDepths();
}

void CEnvelope::clampDepths() {
    const int kind = clampKind(targetKind);
    for (int d = 0; d < kEnvelopeDestinationCount; ++d) {
        const double limit = d == kEnvelopeSampleDestination ? kTargetKindSampleDepthLimits[kind]
                                                             : kTargetKindDepthLimits[kind];
        depths[d] = clampValue(depths[d], -limit, limit);
    }
}

void CEnvelope::depthText(int destination, char* text, size_t capacity,
                          char decimalSeparator) const {
    const int d = clampInt(destination, 0, kEnvelopeSampleDestination);
    if (!isDestinationAllowed(targetKind, d)) {
        copyText(text, capacity, "n/a");
        return;
    }
    char buffer[64];
    formatWithSeparator(buffer, sizeof buffer, decimalSeparator, "%.2f", depths[d]);
    const char zero[] = {'0', decimalSeparator, '0', '0', '\0'};
    const char negativeZero[] = {'-', '0', decimalSeparator, '0', '0', '\0'};
    if (std::strcmp(buffer, zero) == 0 || std::strcmp(buffer, negativeZero) == 0) {
        copyText(text, capacity, "zero");
    } else {
        copyText(text, capacity, buffer);
    }
}

void CEnvelope::pointText(char* text, size_t capacity, char decimalSeparator) const {
    const EnvelopePoint& p = points[clampIndex(selectedPoint)];
    const double shownLevel = bipolar ? 2.0 * p.level - 1.0 : p.level;
    formatWithSeparator(text, capacity, decimalSeparator, "Lev %.2f  Crv %.2f  Dlt %.2f",
                        shownLevel, p.curve, p.delta);
}

double CEnvelope::segmentShape(double a, double b, double c, double x) {
    const double d = 0.5 - c;
    double y;
    if (d == 0.0 && std::fabs(x) != kInfinity) {
        y = 1.0 - (1.0 - x); // a straight segment: the power below is 10^0 = 1
    } else if (d > 0.0) {
        y = x * std::pow(10.0, kCurveSteepness * d * d * (x - 1.0));
    } else {
        y = 1.0 - (1.0 - x) * std::pow(10.0, -kCurveSteepness * d * d * x);
    }
    return a + (b - a) * y;
}

void CEnvelope::start(double t0) {
    if (!(t0 >= 0.0)) t0 = 0.0;
    released = false;
    looping = false;
    currentSegment = 0;
    timeInSegment = 0.0;
    const int count = safePointCount();
    currentLevel = points[count - 1].level;
    int s = 0;
    while (s < count && !(points[s].endTime > t0))
        ++s;
    currentSegment = s;
    if (s < count) timeInSegment = t0 - (points[s].endTime - points[s].delta);
    finishedCounted = false;
}

double CEnvelope::evaluateAndAdvance(double dt, bool allowLoop) {
    const int count = safePointCount();
    double step = dt * kTimeStepScale;
    if (!(step >= 0.0)) step = 0.0; // NaN and backward steps stand still
    if (step > kMaxStep) step = kMaxStep;

    double value;
    if (currentSegment >= count || currentSegment < 0) {
        // Finished: hold the last level; the current level keeps the last running value.
        value = points[count - 1].level;
        return bipolar ? 2.0 * value - 1.0 : value;
    }
    if (!loopEnabled) allowLoop = false;

    // Sustain on a single point never gets here: evaluate() answers it.
    // The value is taken at the time before the step; the walk below changes neither the
    // segment's record nor the loop-back one.
    const EnvelopePoint& seg =
        (looping && currentSegment == loopStart) ? loopBack : points[currentSegment];
    const double t = timeInSegment;
    timeInSegment += step;
    if (points[currentSegment].delta < timeInSegment) walkSegments(allowLoop);
    // A level segment keeps its level whatever its curve: the shape stays finite inside the
    // segment, so the full form adds exactly 0 (+ 0.0 gives a zero level the sign it gives).
    value = seg.startLevel == seg.level
                ? seg.level + 0.0
                : segmentShape(seg.startLevel, seg.level, seg.curve, t / seg.delta);
    currentLevel = value;
    return bipolar ? 2.0 * value - 1.0 : value;
}

void CEnvelope::walkSegments(bool allowLoop) {
    const int count = safePointCount();
    while (currentSegment < count && points[currentSegment].delta < timeInSegment) {
        timeInSegment -= points[currentSegment].delta;
        ++currentSegment;
        if (!released && allowLoop && currentSegment > loopEnd) {
            currentSegment = loopStart;
            looping = true;
            // Whole loop turns change nothing; dropping them bounds this walk for any step.
            const double loopLength =
                points[loopEnd].endTime - points[loopStart].endTime + points[loopStart].delta;
            if (timeInSegment > loopLength) timeInSegment = std::fmod(timeInSegment, loopLength);
        }
    }
}

void CEnvelope::release() {
    if (freeRunning || !keyed || released) return;
    released = true;
    currentSegment = loopEnd + 1;
    timeInSegment = 0.0;
    if (currentSegment >= 0 && currentSegment < safePointCount()) {
        points[currentSegment].startLevel = currentLevel;
    }
}

void CEnvelope::retriggerFromCurrentLevel() {
    const int count = safePointCount();
    if (currentSegment >= 0 && currentSegment < count) {
        points[currentSegment].startLevel =
            currentSegment == 0 ? points[count - 1].level : points[currentSegment - 1].level;
    }
    points[0].startLevel = currentLevel;
    looping = false;
    released = false;
    currentSegment = 0;
    timeInSegment = 0.0;
    finishedCounted = false;
}

CEnvelope::Position CEnvelope::position() const {
    Position p;
    p.released = released;
    p.looping = looping;
    p.finishedCounted = finishedCounted;
    p.finished = isFinished();
    p.currentSegment = currentSegment;
    p.timeInSegment = timeInSegment;
    p.currentLevel = currentLevel;
    return p;
}

void CEnvelope::continueFrom(const Position& running) {
    released = running.released;
    looping = running.looping;
    currentLevel = running.currentLevel;
    finishedCounted = running.finishedCounted;
    const int count = safePointCount();
    if (running.finished || running.currentSegment < 0) {
        // A finished envelope stays finished, whatever points were added after it.
        currentSegment = running.currentSegment < 0 ? 0 : count;
        timeInSegment = 0.0;
        return;
    }
    // Points deleted under it: it goes on in the last segment rather than stopping.
    currentSegment = running.currentSegment < count ? running.currentSegment : count - 1;
    // Within the segment, so that the shape is read between its ends even where the segment
    // got shorter; the next step walks on from its end.
    const double length = points[currentSegment].delta;
    const double t = running.timeInSegment;
    timeInSegment = t >= 0.0 ? (t < length ? t : length) : 0.0;
}

double CEnvelope::keyTableLookup(double note) const {
    const double whole = std::trunc(note);
    if (!(whole >= 0.0)) return keyTable[0]; // negative keys and NaN
    if (whole >= kKeyTableSize - 1) return keyTable[kKeyTableSize - 1];
    const int i = int(whole);
    return keyTable[i] + (keyTable[i + 1] - keyTable[i]) * (note - whole);
}

bool CEnvelope::isDestinationUsed(int destination) const {
    const int d = clampInt(destination, 0, kEnvelopeSampleDestination);
    return std::fabs(depths[d]) > kUsedDepthThreshold;
}
