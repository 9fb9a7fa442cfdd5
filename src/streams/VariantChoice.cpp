#include "streams/VariantChoice.h"

#include <tuple>

namespace VariantChoice {

namespace {

auto rank(const StreamVariant& variant)
{
    return std::tuple(qint64(variant.width) * variant.height, variant.bandwidth, variant.frameRate);
}

} // namespace

int chooseVariant(const QList<StreamVariant>& variants, StreamVariantChoice policy, const QList<int>& lastPlayed)
{
    if (variants.isEmpty())
        return -1;
    if (policy == StreamVariantChoice::AsPlayed) {
        int chosen = -1;
        int latest = -1;
        for (qsizetype i = 0; i < variants.size() && i < lastPlayed.size(); ++i) {
            if (lastPlayed[i] > latest) {
                latest = lastPlayed[i];
                chosen = int(i);
            }
        }
        if (chosen >= 0)
            return chosen;
        policy = StreamVariantChoice::Best;
    }
    int chosen = 0;
    for (qsizetype i = 1; i < variants.size(); ++i) {
        const bool better = policy == StreamVariantChoice::Smallest ? rank(variants[i]) < rank(variants[chosen])
                                                                    : rank(variants[i]) > rank(variants[chosen]);
        if (better)
            chosen = int(i);
    }
    return chosen;
}

int chooseAudio(const QList<AudioRendition>& renditions, const QString& group)
{
    int best = -1;
    for (qsizetype i = 0; i < renditions.size(); ++i) {
        const AudioRendition& rendition = renditions[i];
        if (!group.isEmpty() && rendition.groupId != group)
            continue;
        if (rendition.isDefault)
            return int(i);
        if (best < 0 || std::tuple(rendition.bandwidth, rendition.autoselect) >
                            std::tuple(renditions[best].bandwidth, renditions[best].autoselect))
            best = int(i);
    }
    return best;
}

} // namespace VariantChoice
