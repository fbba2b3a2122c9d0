#include "perform/PlayTime.h"

#include "perform/EventSequence.h"
#include "perform/PerformanceBuilder.h"

namespace scq {

namespace {

// Kind filters: both drop time and key signatures; the SMF rendering drops pauses as well.
constexpr unsigned kScqFilter = 0x000C;
constexpr unsigned kSmfFilter = 0x001C;

}  // namespace

unsigned PlayTimeKindFilter(PlayTimeVariant variant) {
    return variant == PlayTimeVariant::Smf ? kSmfFilter : kScqFilter;
}

void RenderWithFilter(Song& song, unsigned kindFilter, EventSequence& sequence) {
    PerformanceBuilder builder;
    RenderWithFilter(song, kindFilter, sequence, builder);
}

void RenderWithFilter(Song& song, unsigned kindFilter, EventSequence& sequence,
                      PerformanceBuilder& builder) {
    sequence.allocatePages(16);
    sequence.reset();
    builder.attach(&song);
    sequence.addFilterBits(kindFilter);
    builder.render(sequence);
}

void RenderForPlayTime(Song& song, PlayTimeVariant variant, EventSequence& sequence) {
    RenderWithFilter(song, PlayTimeKindFilter(variant), sequence);
}

bool SameRendering(const EventSequence& rendered, unsigned kindFilter) {
    return ((rendered.kindFilter() ^ kindFilter) & rendered.offeredKinds()) == 0;
}

unsigned PlayTimeSeconds(Song& song, PlayTimeVariant variant) {
    EventSequence sequence(16);
    RenderForPlayTime(song, variant, sequence);
    return WholeSeconds(sequence.ElapsedMilliseconds());
}

PlayTimes BothPlayTimes(Song& song) {
    PlayTimes times;
    EventSequence sequence(16);
    RenderForPlayTime(song, PlayTimeVariant::Scq, sequence);
    times.scqMilliseconds = sequence.ElapsedMilliseconds();
    if (SameRendering(sequence, PlayTimeKindFilter(PlayTimeVariant::Smf))) {
        times.smfMilliseconds = times.scqMilliseconds;
    } else {
        RenderForPlayTime(song, PlayTimeVariant::Smf, sequence);
        times.smfMilliseconds = sequence.ElapsedMilliseconds();
    }
    return times;
}

}  // namespace scq
