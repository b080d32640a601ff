#pragma once
// Prints a library (trees, segments, classification) as text or JSON, and single texts.
#include <ostream>
#include <string>

namespace hv {
class TLibrary;
class TCategory;
class TIdentityCategory;
class TTextSegment;
}  // namespace hv

namespace hv::hvlib {

// Writes every tree with its IDs and every segment with typed ID, marks, time, classification,
// resources, related items and the size of its RTF. Texts are read from the text store one at a
// time and released again. Answers how many texts could not be read (each is reported inline).
int DumpLibrary(const TLibrary& library, std::ostream& out, bool json);

// The path of names from below the root, "Mechanics/Forces", as the manifest spells it.
std::string CategoryPath(const TCategory* node);

// The tree letter of an identity node (Q, S, R; '?' outside the library) followed by its FullID.
std::string IdentityRef(const TLibrary& library, const TIdentityCategory* node);

// The RTF of a segment: its chunk's lines joined; empty without a chunk.
std::string SegmentRtf(TTextSegment& segment);

}  // namespace hv::hvlib
