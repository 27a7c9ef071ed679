// The SVG decks the web table's cards come from, in the order looked for:
// the desktop table's default deck (kdegames-card-data-kf5's Oxygen White,
// ui/carddecks.h), then two more of the same package.
#pragma once

namespace ombrix {

inline constexpr const char* kCardDecks[] = {
    "/usr/share/carddecks/svg-oxygen-white/oxygen-white.svgz",
    "/usr/share/carddecks/svg-standard/standard.svgz",
    "/usr/share/carddecks/svg-nicu-white/white.svgz",
};

}  // namespace ombrix
