// The OES and PBU records inside a status response's packages, as arrays of JSON objects.
#pragma once

#include "WireJson.h"

#include <optional>

namespace tarvo::wire {

// The records of a package's content, each an object of type name -> value in record
// layout order; nothing when the content is not exactly a run of whole records.
std::optional<Json> oesRecordsOf(std::string_view content, TextMode mode);
std::optional<Json> pbuRecordsOf(std::string_view content, TextMode mode);

// A package's content written from such an array. A member missing from a record keeps
// the record's default; an unknown member or a non-array throws std::runtime_error.
std::string oesContentOf(const Json &records, TextMode mode);
std::string pbuContentOf(const Json &records, TextMode mode);

} // namespace tarvo::wire
