// Shared by the fuzz targets: the errors the parsers document, and an input cut into the
// pieces in which a stream arrives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string_view>
#include <vector>

namespace tarvo::fuzz {

// True for the texts of the exceptions the protocol and host readers throw by design on
// malformed input. Anything else escaping a reader is a fault.
inline bool documentedError(std::string_view what)
{
    for (std::string_view prefix :
         {"Check sum error", "Wrong type ID:", "Wrong type name:", "Field Parse Error str=",
          "Field not complete(1), ", "Field not complete(2), ", "Package length not match!",
          "Invalid body length:", "OES package holds ", "Neccessary Field '"})
        if (what.substr(0, prefix.size()) == prefix)
            return true;
    // A package length field followed by a field other than a package.
    for (std::string_view infix : {" field not exists ", "is not a type name"})
        if (what.find(infix) != std::string_view::npos)
            return true;
    // The conversion error quotes the text it could not read; a NUL byte in that text
    // ends what() early, so only the opening quote is certain.
    return !what.empty() && what.front() == '\'';
}

// Aborts (a finding) unless the exception is one the readers document.
inline void expectDocumented(const std::exception &e)
{
    if (!documentedError(e.what()))
        std::abort();
}

// The input as a stream cut into pieces: the first byte k gives k % 16 cuts, the next
// k % 16 bytes the length - 1 of each piece in turn, the rest is the stream. A piece never
// reaches past the stream's end; what the cuts leave is the last piece.
inline std::vector<std::string_view> streamPieces(const uint8_t *data, size_t size)
{
    std::vector<std::string_view> pieces;
    if (size == 0)
        return pieces;
    const size_t cuts = std::min<size_t>(data[0] % 16, size - 1);
    const uint8_t *lengths = data + 1;
    std::string_view stream(reinterpret_cast<const char *>(data + 1 + cuts), size - 1 - cuts);
    for (size_t i = 0; i < cuts && !stream.empty(); ++i) {
        const size_t length = std::min<size_t>(size_t(lengths[i]) + 1, stream.size());
        pieces.push_back(stream.substr(0, length));
        stream.remove_prefix(length);
    }
    if (!stream.empty())
        pieces.push_back(stream);
    return pieces;
}

} // namespace tarvo::fuzz
