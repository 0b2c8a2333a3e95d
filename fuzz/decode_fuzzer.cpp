// Fuzzes Message::decode the way a connection uses it: decode from the front, drop what
// was consumed, repeat. Anything but a result code or a documented exception is a bug.
#include "FuzzSupport.h"
#include "protocol/Message.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string_view rest(reinterpret_cast<const char *>(data), size);
    while (!rest.empty()) {
        tarvo::Message message;
        int result = 0;
        try {
            result = message.decode(rest);
        } catch (const std::logic_error &e) {
            if (!tarvo::fuzz::documentedError(e.what()))
                std::abort();
            return 0;
        } catch (const std::runtime_error &e) {
            if (!tarvo::fuzz::documentedError(e.what()))
                std::abort();
            return 0;
        }
        if (result < 0) {
            if (result < tarvo::Message::DECODE_BAD_TRAILER)
                std::abort();
            return 0;
        }
        const size_t length = size_t(result) + message.checkSumFieldLength() - 1;
        if (result < 1 || length > rest.size())
            std::abort();
        // A decoded message encodes again; re-encoding is not byte-exact in general
        // (fields outside the pattern are dropped), but it must not fail unexpectedly.
        if (message.getBody()) {
            try {
                (void)message.getBody()->toString();
            } catch (const std::logic_error &) {
            }
        }
        rest.remove_prefix(length);
    }
    return 0;
}
