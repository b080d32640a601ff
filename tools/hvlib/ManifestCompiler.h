#pragma once
// Compiles library sources, a JSON manifest with RTF files beside it, into a library.
#include <string>

#include "LibraryOutput.h"
#include "core/Errors.h"

namespace hv::hvlib {

// A fault in library sources. The message names the entry and the field, for example
// `questions/P1/03/a: question.topics: unknown topic "Mechanics/Frces"`.
class EManifestError : public EError {
public:
  using EError::EError;
};

inline constexpr const char* kManifestName = "library.json";

// SOURCE is a folder holding library.json, or the manifest itself; texts are found relative to
// the manifest's folder. Writes "<key>.dat", "<key>.txt", vornika32.ini and vornika.ini into
// OUT. Throws EManifestError for faults in the sources and EInOutError for files it cannot write.
TBuildResult BuildLibrary(const std::string& source, const std::string& outDir);

}  // namespace hv::hvlib
