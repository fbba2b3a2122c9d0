#include "perform/PerformRules.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace scq::perform {

namespace {

// Semitones of the letters A to G above A.
constexpr int kSemitone[7] = {0, 2, 3, 5, 7, 8, 10};

bool hasLetter(uint16_t set, int letter) {
    return (set >> letter) & 1u;
}

}  // namespace

int clefBase(unsigned clef) {
    static constexpr int kBase[4] = {29, 17, 23, 21};
    return kBase[clef & 3u];
}

int octaveTerm(unsigned octaveShift) {
    switch (octaveShift) {
        case 1:
            return 63;
        case 2:
            return 49;
        default:
            return 56;
    }
}

int noteLetter(unsigned clef, int staffPosition) {
    const int v = clefBase(clef) - staffPosition + 56;
    const int r = v % 7;
    return r < 0 ? r + 7 : r;
}

int foldPitch(int64_t value) {
    if (value < 0) return static_cast<int>(12 - (-value) % 12);
    if (value > 127) return static_cast<int>((value - 115) % 12 + 115);
    return static_cast<int>(value);
}

WrittenPitch writtenPitch(const PlayState& state, int staffPosition, int accidental) {
    const int base = clefBase(state.clef);
    const int letter = noteLetter(state.clef, staffPosition);
    const int octave = (base + octaveTerm(state.octaveShift) - staffPosition) / 7 - 8;
    int alter = 0;
    switch (accidental) {
        case kSharp:
            alter = 1;
            break;
        case kFlat:
            alter = -1;
            break;
        case kDoubleSharp:
            alter = 2;
            break;
        case kDoubleFlat:
            alter = -2;
            break;
        case kNoAccidental:
            if (hasLetter(state.barDoubleSharps, letter)) {
                alter = 2;
            } else if (hasLetter(state.barSharps, letter)) {
                alter = 1;
            } else if (hasLetter(state.barDoubleFlats, letter)) {
                alter = -2;
            } else if (hasLetter(state.barFlats, letter)) {
                alter = -1;
            }
            break;
        default:  // natural, and the unnamed codes 6 and 7
            break;
    }
    const int64_t midi = kSemitone[letter] + 12 * static_cast<int64_t>(octave) + 21 + alter;
    return {letter, alter, midi};
}

int notePitch(const PlayState& state, int staffPosition, int accidental) {
    return foldPitch(writtenPitch(state, staffPosition, accidental).midi + state.transposition);
}

void rememberAccidental(PlayState& state, int letter, int accidental) {
    const uint16_t bit = static_cast<uint16_t>(1u << letter);
    const uint16_t keep = static_cast<uint16_t>(~bit);
    switch (accidental) {
        case kSharp:
            state.barSharps |= bit;
            state.barFlats &= keep;
            state.barDoubleSharps &= keep;
            state.barDoubleFlats &= keep;
            break;
        case kFlat:
            state.barFlats |= bit;
            break;
        case kDoubleSharp:
            state.barDoubleSharps |= bit;
            break;
        case kDoubleFlat:
            state.barDoubleFlats |= bit;
            break;
        case kNatural:
            state.barSharps &= keep;
            state.barFlats &= keep;
            state.barDoubleSharps &= keep;
            state.barDoubleFlats &= keep;
            break;
        default:
            break;
    }
}

void resetBarAccidentals(PlayState& state) {
    state.barSharps = state.keySharps;
    state.barFlats = state.keyFlats;
    state.barDoubleSharps = 0;
    state.barDoubleFlats = 0;
}

int64_t articulatedLength(int64_t n, Articulation mode) {
    switch (mode) {
        case Articulation::Normal:
            if (n < 192) return n - 2;
            if (n < 384) return n - 32;
            return n - 48;
        case Articulation::Staccato:
            if (n < 96) return 2 * n / 3;
            if (n < 192) return n / 3;
            return n / 4;
        case Articulation::SlurredStaccato:
            if (n < 192) return 5 * n / 7;
            return 5 * n / 8;
        case Articulation::Full:
            break;
    }
    return n;
}

void velocityRampStep(PlayState& state, int64_t d) {
    const int v = static_cast<int>(state.velocity);
    const int r = static_cast<int>(state.rampTarget);
    if (v == r) {
        state.rampRemaining = 0;
        return;
    }
    const int64_t remaining = state.rampRemaining;
    if (remaining == 0) return;
    const int64_t s = std::clamp<int64_t>(d, 0, remaining);
    const float f = static_cast<float>(static_cast<double>(s) / static_cast<double>(remaining));
    const double delta = std::trunc(static_cast<double>(r - v) * static_cast<double>(f));
    state.velocity = static_cast<unsigned>(v + static_cast<int>(delta)) & 0xFFu;
    state.rampRemaining = static_cast<unsigned>(remaining - s);
}

int controlChangeOf(int controller) {
    static constexpr int kNumber[18] = {0xFF, 7,  10, 2,  0xFF, 1,  4,  5,  6,
                                        8,    11, 12, 13, 91,   92, 93, 94, 95};
    if (controller < 0 || controller >= 18) return 0xFF;
    return kNumber[controller];
}

void addInstrumentEvents(EventSequence& sequence, const PlayState& state, int32_t time,
                         const InstrumentPatch& patch) {
    if (patch.patch == 0) return;
    if (patch.bankSelect != 0) {
        sequence.add(channelEvent(state, time, SequenceEvent::ControlChange, 0, patch.bank / 128));
        sequence.add(channelEvent(state, time, SequenceEvent::ControlChange, 32, patch.bank % 128));
    }
    const int64_t program = static_cast<int64_t>(patch.patch) - 1;
    sequence.add(channelEvent(state, time, SequenceEvent::ProgramChange,
                              static_cast<int>(program & 0xFF), 0));
}

bool addRampEvent(EventSequence& sequence, const SequenceEvent& event) {
    // The ramp goes on while its own events are kept, even when each one pushes the last
    // event off the end of a full sequence.
    return sequence.addEvent(event) != EventSequence::AddResult::LostThis;
}

Ramp::Ramp(int32_t from, int32_t to, int32_t step, int64_t span, int64_t start,
           bool includeLastStep)
    : from_(from), span_(span), start_(start) {
    if (step <= 0 || span <= 0) return;
    const int64_t diff = static_cast<int64_t>(to) - from;
    steps_ = (diff < 0 ? -diff : diff) / step;
    if (steps_ <= 0) return;
    signedStep_ = diff < 0 ? -static_cast<int64_t>(step) : step;
    lastIndex_ = includeLastStep ? steps_ : steps_ - 1;

    const float w = static_cast<float>(static_cast<double>(span) / static_cast<double>(steps_));
    // w = m * 2^e with m in [0.5, 1): its 24 significant bits as an integer, and the scale.
    int e = 0;
    const float m = std::frexp(w, &e);
    const uint64_t bits = static_cast<uint64_t>(std::ldexp(static_cast<double>(m), 24));
    if (e >= 24) {
        mantissa_ = bits << (e - 24);
        shift_ = 0;
    } else {
        mantissa_ = bits;
        shift_ = 24 - e;
    }
    done_ = mantissa_ == 0;
}

bool Ramp::next(RampPoint& point) {
    if (done_) return false;
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    // The first step whose time moves past the last point: trunc(i * w) > lastOffset_.
    const uint64_t need = static_cast<uint64_t>(lastOffset_) + 1;
    if (need > (kMax >> shift_)) {
        done_ = true;
        return false;
    }
    const uint64_t target = need << shift_;
    uint64_t i = target / mantissa_ + (target % mantissa_ != 0 ? 1 : 0);
    i = std::max(i, static_cast<uint64_t>(index_) + 1);
    if (i > static_cast<uint64_t>(lastIndex_) || i > kMax / mantissa_) {
        done_ = true;
        return false;
    }
    const uint64_t offset = (i * mantissa_) >> shift_;
    if (offset >= static_cast<uint64_t>(span_)) {
        done_ = true;
        return false;
    }
    index_ = static_cast<int64_t>(i);
    lastOffset_ = static_cast<int64_t>(offset);
    point.time = start_ + lastOffset_;
    point.value = from_ + index_ * signedStep_;
    return true;
}

}  // namespace scq::perform
