// Fuzzes the agent's framing of a client's stream, the bytes arriving in the pieces the input
// chooses: messages are handed out whole until the first error, the buffer stays within its
// bound, and after an error the reader keeps refusing the stream.
#include "FuzzSupport.h"
#include "agent/service/FrameReader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using Kind = tarvo::FrameReader::Result::Kind;
    tarvo::FrameReader reader;
    for (std::string_view piece : tarvo::fuzz::streamPieces(data, size)) {
        reader.append(piece);
        for (;;) {
            const size_t before = reader.buffered();
            tarvo::FrameReader::Result result = reader.next();
            if (result.kind == Kind::NeedMore) {
                if (reader.buffered() != before)
                    std::abort();
                break;
            }
            if (result.kind == Kind::Error) {
                // The buffer is left as it was, and the same error comes again.
                if (result.error.empty() || reader.buffered() != before)
                    std::abort();
                if (reader.next().kind != Kind::Error)
                    std::abort();
                return 0;
            }
            if (!result.message || reader.buffered() >= before)
                std::abort();
            (void)result.message->encodeHeader();
        }
        if (reader.buffered() > tarvo::MESSAGE_LIMIT + piece.size())
            std::abort();
    }
    return 0;
}
