#pragma once

#include "base/Settings.h"
#include "streams/StreamPlan.h"

// Which variant and which audio rendition a stream is downloaded in.
namespace VariantChoice {

// The index of the variant to download, or -1 when there is none. `lastPlayed[i]` is the
// position in the page's fetch order of the last request the player made for variant i (-1:
// never); "as played" takes the variant fetched last, and "best" when the player fetched none.
// Best: highest resolution (pixels), then bandwidth, then frame rate. Smallest: the reverse.
int chooseVariant(const QList<StreamVariant>& variants, StreamVariantChoice policy, const QList<int>& lastPlayed = {});

// The audio rendition for a variant: among the renditions of `group` (all of them when the
// group is empty), the one marked DEFAULT, else the best (bandwidth, then AUTOSELECT). -1 when
// the group has none.
int chooseAudio(const QList<AudioRendition>& renditions, const QString& group);

} // namespace VariantChoice
