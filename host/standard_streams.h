// Where standard output (the listing) and standard error (the log) go, and so how the listing
// is buffered: where the two reach one place, the listing written so far goes out before each
// log line and as each BY group starts, so that they keep their order; elsewhere the listing
// goes out in large writes, at least once a second.
#pragma once

namespace vsf::host {

// Whether two descriptors reach one place: the same terminal, file or pipe.
bool samePlace(int fdA, int fdB);
// Whether the listing reaches the log's place or a terminal (found once, at the first call).
bool listingBesideLog();
// Gives standard output a large buffer where it reaches neither a terminal nor the log's place.
// Called before anything is written there.
void bufferListing();
// Whether the listing should go out as a BY group starts: always beside the log, else when the
// last time was a second ago, so that a listing file followed during a long run stays current.
bool listingDue();

}  // namespace vsf::host
