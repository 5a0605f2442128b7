// Value IDs: the int32 numbers that name every patch value of the program.
//
// Host parameter i is value ID i (0..42), an editor control's tag is the value ID it edits, and
// the renderer's apply step dispatches by these numbers. IDs not listed here name nothing.
#pragma once

#include <cstdint>

// --- Host parameters 0..42 ---
inline constexpr int32_t kHostParameterCount = 43;
inline constexpr int32_t kMasterLevelId = 0;
inline constexpr int32_t kMasterPitchId = 1; // -24..24 semitones
inline constexpr int32_t kDistortionId = 2;
inline constexpr int32_t kDelayFirstId = 3; // 10 values, in this order:
inline constexpr int32_t kDelayPreTimeOffset = 0;
inline constexpr int32_t kDelayLeftTimeOffset = 1;
inline constexpr int32_t kDelayLeftPanOffset = 2;
inline constexpr int32_t kDelayRightTimeOffset = 3;
inline constexpr int32_t kDelayRightPanOffset = 4;
inline constexpr int32_t kDelayFeedbackOffset = 5;
inline constexpr int32_t kDelayBalanceOffset = 6;
inline constexpr int32_t kDelayWetOffset = 7;
inline constexpr int32_t kDelaySyncOffset = 8;
inline constexpr int32_t kDelayOnOffset = 9;
inline constexpr int32_t kDelayIdCount = 10;
inline constexpr int32_t kChorusFirstId = 13; // 7 values, in this order:
inline constexpr int32_t kChorusTimeOffset = 0;
inline constexpr int32_t kChorusSpeedOffset = 1;
inline constexpr int32_t kChorusWetOffset = 2;
inline constexpr int32_t kChorusDryOffset = 3;
inline constexpr int32_t kChorusInvertOffset = 4;
inline constexpr int32_t kChorusStereoOffset = 5;
inline constexpr int32_t kChorusEnableOffset = 6;
inline constexpr int32_t kChorusIdCount = 7;
inline constexpr int32_t kEqBandCount = 4;
inline constexpr int32_t kEqQFirstId = 20;         // bands 1..4
inline constexpr int32_t kEqFrequencyFirstId = 24; // bands 1..4
inline constexpr int32_t kEqLevelFirstId = 28;     // bands 1..4
inline constexpr int32_t kEqEnableId = 32;
inline constexpr int32_t kReverbEnableId = 33;
inline constexpr int32_t kReverbFeedbackId = 34;
inline constexpr int32_t kReverbColorId = 35;
inline constexpr int32_t kReverbWetId = 36;
// Filter cutoff, resonance and mode: 37..39 for filter 1, 40..42 for filter 2.
inline constexpr int32_t kFilterCutoffId[2] = {37, 40};
inline constexpr int32_t kFilterResonanceId[2] = {38, 41};
inline constexpr int32_t kFilterModeId[2] = {39, 42}; // rounded to 0..3: Off, LowPass, BandPass,
                                                      // HighPass
// The four on/off host parameters that hosts may show as switches:
// "Delay: On", "Chorus: Enable", "EQ: Enable", "Reverb: Enable".
inline constexpr int32_t kHostSwitchIds[] = {kDelayFirstId + kDelayOnOffset,
                                             kChorusFirstId + kChorusEnableOffset, kEqEnableId,
                                             kReverbEnableId};

// --- Voice-global values ---
inline constexpr int32_t kNoInterpolationId = 43; // switch
inline constexpr int32_t kUnisonSpreadId = 44;    // raw 0..1
inline constexpr int32_t kUnisonId = 45;          // switch
inline constexpr int32_t kGlideFromHeldId = 46;   // switch
inline constexpr int32_t kVoiceCountId = 47;      // 1..24
inline constexpr int32_t kGlideFactorId = 48;
inline constexpr int32_t kPitchBendUpId = 49;  // 0..48 semitones
inline constexpr int32_t kSampleLevelId = 176; // sample layer, 0..1
inline constexpr int32_t kSamplePanId = 177;   // sample layer, -1..1
inline constexpr int32_t kFilter1KeyTrackingId = 321;
inline constexpr int32_t kFilter2KeyTrackingId = 322;
inline constexpr int32_t kPitchBendDownId = 323; // 0..48 semitones

// --- Voice filters: level, pan, then 9 matrix depths; filter 2 follows filter 1 ---
inline constexpr int32_t kFilterFirstId = 50;
inline constexpr int32_t kFilterIdStride = 11;
inline constexpr int32_t kFilterLevelOffset = 0;
inline constexpr int32_t kFilterPanOffset = 1;
inline constexpr int32_t kFilterModulationOffset = 2;
inline constexpr int32_t kFilterModulationCount = 9; // operators 1..8, then the other filter

// --- Operators: 13 IDs each ---
inline constexpr int32_t kOperatorCount = 8;
inline constexpr int32_t kOperatorFirstId = 72;
inline constexpr int32_t kOperatorIdStride = 13;
inline constexpr int32_t kOperatorMixOffset = 0;
inline constexpr int32_t kOperatorPanOffset = 1;
inline constexpr int32_t kOperatorEnabledOffset = 2;
inline constexpr int32_t kOperatorModulationOffset = 3;
inline constexpr int32_t kOperatorModulationCount = 10; // 8 operators, 2 filters

// --- Sample slots: 8 IDs each ---
inline constexpr int32_t kSampleSlotCount = 8;
inline constexpr int32_t kSampleSlotFirstId = 178;
inline constexpr int32_t kSampleSlotIdStride = 8;
inline constexpr int32_t kSampleSlotLowKeyOffset = 0;
inline constexpr int32_t kSampleSlotRootKeyOffset = 1;
inline constexpr int32_t kSampleSlotKeyboardFollowOffset = 2;
inline constexpr int32_t kSampleSlotLoopOffset = 3;
inline constexpr int32_t kSampleSlotSendFilter1Offset = 4;
inline constexpr int32_t kSampleSlotSendFilter2Offset = 5;
inline constexpr int32_t kSampleSlotLevelOffset = 6;
inline constexpr int32_t kSampleSlotPanOffset = 7;

// --- Pattern sequencers: 6 values then 32 steps each ---
inline constexpr int32_t kSequencerCount = 2;
inline constexpr int32_t kSequencer1FirstId = 243;
inline constexpr int32_t kSequencer2FirstId = 282;
inline constexpr int32_t kSequencerIdStride = 39;
inline constexpr int32_t kSequencerRunningOffset = 0;
inline constexpr int32_t kSequencerLengthOffset = 1;    // 1..32 steps
inline constexpr int32_t kSequencerTransposeOffset = 2; // -24..24 semitones
inline constexpr int32_t kSequencerSwingOffset = 3;
inline constexpr int32_t kSequencerRandomOffset = 4;
inline constexpr int32_t kSequencerPingPongOffset = 5;
inline constexpr int32_t kSequencerStepsOffset = 6;
inline constexpr int32_t kSequencerStepCount = 32;
// A sequencer's values end one ID before the next block: that ID names nothing.
static_assert(kSequencerStepsOffset + kSequencerStepCount < kSequencerIdStride, "");
static_assert(kSequencer1FirstId + kSequencerIdStride == kSequencer2FirstId, "");

// The renderer applies a whole program by reading IDs 0..kAppliedIdCount-1 in order.
inline constexpr int32_t kAppliedIdCount = 324;

// --- The operator selected in the editor ---
inline constexpr int32_t kSelectedStartPhaseId = 324;
inline constexpr int32_t kSelectedAuxSwitchId = 325;
inline constexpr int32_t kSelectedCoarseTuneId = 326; // ratio or semitones, unnormalised
inline constexpr int32_t kSelectedOffsetHzId = 327;   // Hz, unnormalised
inline constexpr int32_t kSelectedAmplitudeId = 328;
inline constexpr int32_t kSelectedTuneModeId = 329;

// Display-only: file name of sample slot 0..7 (no stored value).
inline constexpr int32_t kSamplePathLeafFirstId = 330;

// --- The envelope selected in the editor ---
inline constexpr int32_t kEnvelopeKeepFollowingId = 346;
inline constexpr int32_t kEnvelopeTempoSyncId = 347;
inline constexpr int32_t kEnvelopeFreeRunningId = 348;
inline constexpr int32_t kEnvelopeKeyedId = 349;
inline constexpr int32_t kEnvelopeRateKeyTrackingId = 350;
inline constexpr int32_t kEnvelopeRateVelocityId = 351;
inline constexpr int32_t kEnvelopeBipolarId = 352;

// --- Routing rows of the envelopes on the current page: label, then depths 0..9 ---
inline constexpr int32_t kEnvelopesPerPage = 8;
inline constexpr int32_t kEnvelopePageCount = 4;
inline constexpr int32_t kEnvelopeRowFirstId = 353;
inline constexpr int32_t kEnvelopeRowIdStride = 11;
inline constexpr int32_t kEnvelopeRowLastId = 440;
inline constexpr int32_t kEnvelopeSampleDepthFirstId = 442; // depth 10 of rows 0..7
inline constexpr int32_t kEnvelopeSampleDepthLastId = 449;

// --- Editor selection ---
inline constexpr int32_t kEnvelopeViewId = 450;     // view / 3 + 0.001
inline constexpr int32_t kEnvelopePageId = 451;     // page / 4 + 0.001
inline constexpr int32_t kSelectedOperatorId = 452; // operator / 8 + 0.001

// Display-only: the point text of the shown curve.
inline constexpr int32_t kPointTextId = 458;
// The process-wide fine tune (-99..99 cents), stored in the settings object.
inline constexpr int32_t kFineTuneId = 459;
// The fine tune spans -99..99 cents around the normalised value 0.5.
inline constexpr int32_t kFineTuneCents = 99;
// Display-only: the tuning name.
inline constexpr int32_t kTuningNameId = 460;

// Value IDs 0..kValueIdCount-1 may name stored values.
inline constexpr int32_t kValueIdCount = 460;
