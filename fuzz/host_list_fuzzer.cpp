// Fuzzes the console's host list file: the file loaded into a host pool, the pool written
// out again, and that text loaded once more must give the same hosts with the same PBUs.
#include "app/HostListFile.h"
#include "host/HostSubjectPool.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// One file per fuzzing process, rewritten for every input.
const std::string &listPath()
{
    static const std::string path =
        (std::filesystem::temp_directory_path() /
         ("tarvo-host-list-fuzz-" + std::to_string(::getpid()) + ".CFG"))
            .string();
    return path;
}

void writeAll(const std::string &path, std::string_view bytes)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        std::abort();
    std::fclose(file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string &path = listPath();
    writeAll(path, std::string_view(reinterpret_cast<const char *>(data), size));
    tarvo::HostSubjectPool pool;
    const int added = tarvo::loadHostList(path, pool);
    if (added < 0 || size_t(added) != pool.size())
        std::abort();

    const std::string written = tarvo::formatHostList(pool);
    writeAll(path, written);
    tarvo::HostSubjectPool again;
    tarvo::loadHostList(path, again);
    if (again.size() != pool.size() || tarvo::formatHostList(again) != written)
        std::abort();
    std::remove(path.c_str());
    return 0;
}
