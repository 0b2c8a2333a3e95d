// Fuzzes what the console does with an agent's bytes short of the connection: messages
// decoded from the front of the stream, their bodies written again, and the program and PBU
// packages of every body applied to a host twice (the second pass makes the first pass's
// PBUs stale). Readers may only fail with the errors they document.
#include "FuzzSupport.h"
#include "host/Host.h"
#include "protocol/Message.h"

#include <stdexcept>
#include <string>

namespace {

void applyPackages(tarvo::Host &host, const tarvo::MessageBody &body)
{
    const std::string &oesPackage = body.getFieldValue("oesPackage");
    const std::string &pbuPackage = body.getFieldValue("pbuPackage");
    for (int pass = 0; pass < 2; ++pass) {
        try {
            host.updateOes(oesPackage);
        } catch (const std::exception &e) {
            tarvo::fuzz::expectDocumented(e);
        }
        try {
            host.updatePbus(pbuPackage);
        } catch (const std::exception &e) {
            tarvo::fuzz::expectDocumented(e);
        }
    }
    // Whatever was applied reads back as wire text.
    for (const auto &oes : host.getOesList())
        (void)oes->toString();
    for (const auto &pbu : host.getPbuList())
        (void)pbu->toString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string_view rest(reinterpret_cast<const char *>(data), size);
    tarvo::Host host("h1", "127.0.0.1", "10012", "Y", "Y");
    while (!rest.empty()) {
        tarvo::Message message;
        int result = 0;
        try {
            result = message.decode(rest);
        } catch (const std::exception &e) {
            tarvo::fuzz::expectDocumented(e);
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
        if (const tarvo::MessageBody *body = message.getBody()) {
            try {
                (void)body->toString();
            } catch (const std::logic_error &e) {
                tarvo::fuzz::expectDocumented(e);
            }
            applyPackages(host, *body);
        }
        rest.remove_prefix(length);
    }
    return 0;
}
