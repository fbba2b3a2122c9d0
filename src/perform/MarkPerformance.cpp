// What the signatures and performance marks contribute to a performance and how they change
// the running staff state.

#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "items/TextAndPedal.h"
#include "perform/EventSequence.h"
#include "perform/PerformRules.h"
#include "perform/PlayState.h"

namespace scq {

using perform::channelEvent;
using perform::wrapTicks;

namespace {

constexpr int kVolumeController = 7;
constexpr int kPedalController = 64;

// The event a controller mark sends for a value at a time.
SequenceEvent controllerEvent(const PlayState& state, int32_t controller, int32_t time,
                              int64_t value) {
    if (controller == kControllerTempo) return perform::tempoEvent(time, value);
    if (controller == kControllerPitchBend) {
        return channelEvent(state, time, SequenceEvent::PitchBend, static_cast<int>(value % 128),
                            static_cast<int>(value / 128));
    }
    return channelEvent(state, time, SequenceEvent::ControlChange,
                        perform::controlChangeOf(controller), static_cast<int>(value & 0xFF));
}

}  // namespace

// ---- staff state ----

void ClefItem::applyToStaffState(PlayState& state) {
    state.clef = clefType & 3u;
    state.octaveShift = static_cast<uint8_t>(octaveShift) & 3u;
}

void KeySignatureItem::applyToStaffState(PlayState& state) {
    state.keyFlats = flats;
    state.barFlats = flats;
    state.keySharps = sharps;
    state.barSharps = sharps;
    state.barDoubleFlats = 0;
    state.barDoubleSharps = 0;
}

void TimeSignatureItem::applyToStaffState(PlayState& state) {
    state.beatsPerBar = beatsPerBar & 0x1Fu;
    state.beatValueCode = beatValueCode & 0x7u;
}

void DynamicItem::applyToStaffState(PlayState& state) {
    state.rampRemaining = 0;
    if (velocity > 0) state.velocity = static_cast<unsigned>(velocity);
}

void DynamicVariationItem::applyToStaffState(PlayState& state) {
    if (rampTicks == 0 || targetVelocity == 0 || state.velocity == targetVelocity) return;
    state.rampTarget = targetVelocity & 0x7Fu;
    state.rampRemaining = rampTicks >= 65535 ? 65534u : static_cast<uint32_t>(rampTicks) & 0xFFFFu;
}

void PerformanceStyleItem::applyToStaffState(PlayState& state) {
    const int low = performanceStyle & 0x3F;
    state.performanceStyle = low >= 32 ? low - 64 : low;
}

// ---- events ----

void KeySignatureItem::contributeToPerformance(PlayState& state, EventSequence& sequence) {
    const int key = keySize();
    if (state.time != 0 && key == keySizeOf(state.keySharps, state.keyFlats)) return;
    sequence.addKeySignature(state.time, key, 0);
}

void InstrumentItem::contributeToPerformance(PlayState& state, EventSequence& sequence) {
    perform::addInstrumentEvents(sequence, state, state.time, instrument);
}

void TimeSignatureItem::contributeToPerformance(PlayState& state, EventSequence& sequence) {
    if (state.time != 0 && state.beatsPerBar == beatsPerBar &&
        state.beatValueCode == beatValueCode) {
        return;
    }
    sequence.addTimeSignature(state.time, beatsPerBar, static_cast<int>(beatValueCode));
}

void TempoItem::contributeToPerformance(PlayState& state, EventSequence& sequence) {
    sequence.addTempo(state.time, tempo);
}

void DynamicItem::contributeToPerformance(PlayState& state, EventSequence& sequence) {
    if (volume < 0) return;
    sequence.add(
        channelEvent(state, state.time, SequenceEvent::ControlChange, kVolumeController, volume));
}

void PedalItem::contributeToPerformance(PlayState& state, EventSequence& sequence) {
    sequence.add(channelEvent(state, state.time, SequenceEvent::ControlChange, kPedalController,
                              pedalDown != 0 ? 127 : 0));
}

void ControllerItem::contributeToPerformance(PlayState& state, EventSequence& sequence) {
    const int64_t unit = timeUnit >= 0 && timeUnit < 32 ? int64_t{768} >> timeUnit : 0;
    const int kind = controller == kControllerTempo ? TempoEvent : ChannelMessage;
    int64_t at = state.time;
    auto send = [&](int64_t time, int64_t value) {
        sequence.add(controllerEvent(state, controller, wrapTicks(time), value));
    };
    if (sweepStyle == kSweepAbsolute) {
        for (const ControllerPoint& p : points) {
            if (p.active == 0) continue;
            at += int64_t{p.offset} * unit;
            send(at, p.value);
        }
        return;
    }
    for (int k = 0; k < kPointCount && points[k].active != 0; ++k) {
        const ControllerPoint& p = points[k];
        at += int64_t{p.offset} * unit;
        send(at, p.value);
        if (k == kPointCount - 1 || points[k + 1].active == 0) continue;
        const ControllerPoint& to = points[k + 1];
        const int64_t span = int64_t{to.offset} * unit;
        if (sweepStep <= 0 || span == 0 || p.value == to.value) continue;
        perform::addRamp(sequence, perform::Ramp(p.value, to.value, sweepStep, span, at, false),
                         kind, [&](int32_t time, int64_t value) {
                             return controllerEvent(state, controller, time, value);
                         });
    }
}

void TempoVariationItem::contributeToPerformance(PlayState& state, EventSequence& sequence) {
    switch (variationKind) {
        case kBreathMark:
            if (pauseLength > 0) sequence.addPause(state.time, pauseLength);
            return;
        case kFermata:
            if (pauseLength > 0) sequence.addPause(wrapTicks(int64_t{state.time} + 1), pauseLength);
            return;
        default:
            break;
    }
    if (rampTicks == 0 || startTempo == endTempo) return;
    perform::addRamp(sequence, perform::Ramp(startTempo, endTempo, 1, rampTicks, state.time, false),
                     TempoEvent,
                     [](int32_t time, int64_t bpm) { return perform::tempoEvent(time, bpm); });
}

void DynamicVariationItem::contributeToPerformance(PlayState& state, EventSequence& sequence) {
    if (rampTicks == 0 || startVolume < 0 || startVolume == endVolume) return;
    perform::addRamp(sequence,
                     perform::Ramp(startVolume, endVolume, 1, rampTicks, state.time, true),
                     ChannelMessage, [&](int32_t time, int64_t value) {
                         return channelEvent(state, time, SequenceEvent::ControlChange,
                                             kVolumeController, static_cast<int>(value & 0xFF));
                     });
}

}  // namespace scq
