// Saves of the host list killed at random moments: after every SIGKILL the file holds one
// whole version of the list, never a cut or empty one, and at most the killed save's
// temporary file is left (the next store clears it).
//
// Usage: host_list_kill_test [TRIALS]   (default 1000); exits 1 when a file was bad.
#include "app/HostListFile.h"

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

using namespace tarvo;

namespace {

// A small list and a large one (hundreds of hosts with PBUs), so that a kill may land in
// the middle of a long write as well as between saves.
void fill(HostSubjectPool &pool, int hosts, int pbus)
{
    for (int i = 0; i < hosts; ++i) {
        const std::string ip =
            "10." + std::to_string(i / 250) + ".0." + std::to_string(i % 250 + 1);
        auto host = std::make_unique<HostSubject>("h" + std::to_string(i), ip, "10012");
        host->setOesAExist("Y");
        host->setOesBExist("N");
        for (int k = 0; k < pbus; ++k)
            host->getPbuList().push_back(
                std::make_unique<Pbu>("A-share", "A" + std::to_string(1000000000 + k)));
        pool.add(host);
    }
}

std::string readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int temporaries(const std::string &dir)
{
    int count = 0;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (const dirent *entry = ::readdir(d))
            count += std::string(entry->d_name).rfind("TarvoMonitor.CFG.tmp-", 0) == 0;
        ::closedir(d);
    }
    return count;
}

} // namespace

int main(int argc, char **argv)
{
    const int trials = argc > 1 ? std::atoi(argv[1]) : 1000;
    char dirTemplate[] = "host-list-kill-XXXXXX";
    if (!::mkdtemp(dirTemplate)) {
        std::perror("mkdtemp");
        return 2;
    }
    const std::string dir = dirTemplate;
    const std::string path = dir + "/TarvoMonitor.CFG";
    HostSubjectPool small, large;
    fill(small, 3, 0);
    fill(large, 400, 6);
    const std::string smallText = formatHostList(small);
    const std::string largeText = formatHostList(large);
    if (saveHostList(path, small)) {
        std::fprintf(stderr, "the first save failed\n");
        return 2;
    }

    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> delayUs(0, 8000);
    int bad = 0, cutShort = 0, mostLeft = 0, largeHeld = 0;
    const auto started = std::chrono::steady_clock::now();
    for (int trial = 0; trial < trials; ++trial) {
        const pid_t child = ::fork();
        if (child < 0) {
            std::perror("fork");
            return 2;
        }
        if (child == 0) {
            // Every other trial starts with the other version.
            const HostSubjectPool &first = trial % 2 ? large : small;
            const HostSubjectPool &second = trial % 2 ? small : large;
            HostListStore store(path);
            for (;;) {
                store.save(first);
                store.save(second);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const std::string text = readAll(path);
        if (text != smallText && text != largeText) {
            ++bad;
            std::fprintf(stderr, "trial %d: the file holds %zu bytes of neither version\n", trial,
                         text.size());
        }
        largeHeld += text == largeText;
        const int left = temporaries(dir);
        cutShort += left > 0;
        mostLeft = std::max(mostLeft, left);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // The next store clears what the last killed save left.
    HostListStore{path};
    const int leftAtEnd = temporaries(dir);
    std::printf("%d trials in %.1f s: %d bad files, %d killed inside a save, the file held the "
                "large version %d times, at most %d temporary file(s) at once, %d after a new "
                "store\n",
                trials, seconds, bad, cutShort, largeHeld, mostLeft, leftAtEnd);
    ::unlink(path.c_str());
    ::rmdir(dir.c_str());
    return bad == 0 && mostLeft <= 1 && leftAtEnd == 0 ? 0 : 1;
}
