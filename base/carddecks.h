// Where Debian's kdegames-card-data-kf5 puts its SVG decks, in the order the
// game looks for them: the first one installed is the deck of the desktop
// table and of the web table alike.
#pragma once

namespace ombrix {

inline constexpr const char* kCardDecks[] = {
    "/usr/share/carddecks/svg-oxygen-white/oxygen-white.svgz",
    "/usr/share/carddecks/svg-standard/standard.svgz",
    "/usr/share/carddecks/svg-nicu-white/white.svgz",
};

}  // namespace ombrix
