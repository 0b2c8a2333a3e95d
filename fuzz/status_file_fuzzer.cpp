// Fuzzes the agent's reading of a program's status file: the text read into the working
// texts and the configured PBUs while the program runs and while it is stopped. The reader
// never throws; "OK" or "FAIL" are its only answers.
#include "agent/OesStatusFile.h"
#include "host/StatusNames.h"
#include "platform/IniFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const tarvo::IniFile ini = tarvo::IniFile::parse(text);
    for (const std::string status : {"运行", "停止"}) {
        std::vector<std::unique_ptr<tarvo::Pbu>> pbus;
        for (const char *code : {"A0000000001", "A0000000002", "B0000000001"})
            pbus.push_back(std::make_unique<tarvo::Pbu>(tarvo::OES_NAME_A, code));
        std::string type = "type", version = "version", warningLevel = "level";
        const std::string answer = tarvo::OesStatusFile::readStatusText(
            ini, tarvo::OES_NAME_A, type, version, warningLevel, status, pbus);
        if (answer != "OK" && answer != "FAIL")
            std::abort();
        // A failed read leaves everything as it was.
        if (answer == "FAIL" && (type != "type" || version != "version" || warningLevel != "level"))
            std::abort();
        for (const auto &pbu : pbus)
            (void)pbu->toString();
    }
    (void)tarvo::OesStatusFile::parseStatusTime(ini.readString("TIME", "Time"));
    return 0;
}
