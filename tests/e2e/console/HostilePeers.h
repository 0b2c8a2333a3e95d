// The hostile agents of the console's robustness tests: each serves one connection of a
// fake agent its own way (noise, floods, cut answers, answers that stop, escape sequences,
// long reads) and tells the test how far it got through an Attack.
#pragma once

#include "FakeAgents.h"

#include <random>

namespace tarvo::test {

// What the hostile side of one case shares with the test.
struct Attack
{
    std::atomic<bool> done{false};  // the hostile part is over
    std::atomic<bool> turn{false};  // the test asks the agent to behave again
    std::atomic<long> count{0};     // what the case counts: answers, connections
    std::atomic<long> sent{0};      // bytes sent
    Clock::time_point started;      // set before the agent accepts
};

// Serves the hostile side until the console closes the connection; true when it did.
inline bool untilClosed(int fd, const std::atomic<bool> &stop, Clock::duration limit = 20s)
{
    const auto deadline = Clock::now() + limit;
    while (!stop && Clock::now() < deadline)
        if (!receive(fd, 50))
            return true;
    return false;
}

// Sends `bytes` over and over as fast as the console takes them until `stop`, the console
// closes, or `until` holds; a console that is slow to read is waited for.
inline void flood(Attack &attack, int fd, const std::string &bytes, const std::atomic<bool> &stop,
           const std::function<bool()> &until = [] { return false; })
{
    while (!stop && !until()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            return;
        attack.sent += n;
    }
}

// Answers the status requests that have arrived, by `answer` (sequence -> bytes); false once
// the console closed.
inline bool answerRequests(int fd, std::string &buffer, int waitMs,
                    const std::function<std::string(const std::string &)> &answer)
{
    const std::optional<std::string> bytes = receive(fd, waitMs);
    if (!bytes)
        return false;
    buffer += *bytes;
    for (const auto &message : takeMessages(buffer))
        if (message->getMessageType() == "02" && !sendWhole(fd, answer(message->getSequence())))
            return false;
    return true;
}

inline void randomNoise(Attack &attack, int fd, const std::string &, const std::atomic<bool> &stop)
{
    std::mt19937 random(7);
    std::string chunk(65536, '\0');
    for (long total = 0; total < 10L * 1024 * 1024 && !stop; total += long(chunk.size())) {
        for (char &c : chunk)
            c = char(random());
        if (!sendWhole(fd, chunk)) {
            attack.done = true;
            return;
        }
        attack.sent += long(chunk.size());
    }
    attack.done = untilClosed(fd, stop);
}

inline void hugeAnnouncedBody(Attack &attack, int fd, const std::string &,
                              const std::atomic<bool> &stop)
{
    sendWhole(fd, std::string("00=") + PROTOCOL_VERSION + "\x01" "01=S\x01" "04=03\x01"
                  "12=0\x01" "15=2000000000\x01" "80=");
    attack.done = untilClosed(fd, stop);
}

inline void oneByteAtATime(Attack &attack, int fd, const std::string &,
                           const std::atomic<bool> &stop)
{
    std::string buffer;
    while (!stop && answerRequests(fd, buffer, 50, [&](const std::string &sequence) {
        for (char c : statusAnswer(sequence, 66)) {
            if (stop || !sendWhole(fd, std::string_view(&c, 1)))
                return std::string();
            std::this_thread::sleep_for(1ms);
        }
        ++attack.count;
        return std::string();
    })) {
    }
}

inline void wrongSequences(Attack &attack, int fd, const std::string &,
                           const std::atomic<bool> &stop)
{
    std::string buffer;
    while (!stop && answerRequests(fd, buffer, 50, [&](const std::string &sequence) {
        // Far ahead (drops what waits), negative, no number, empty: none matches.
        std::string answers;
        for (const std::string &wrong : {std::to_string(std::atoi(sequence.c_str()) + 1000),
                                        std::string("-5"), std::string("x9"), std::string("")})
            answers += statusAnswer(wrong, 77);
        ++attack.count;
        return answers;
    })) {
    }
}

inline int cutsOfAnAnswer() { return int(statusAnswer("0", 55).size()) - 1; }

// Host k of many cuts its connection after byte k of an answer.
inline void cutInsideAnAnswer(Attack &attack, int fd, const std::string &localIp,
                       const std::atomic<bool> &stop)
{
    const std::string answer = statusAnswer("0", 55);
    const int cut = manyHostIndex(localIp) + 1;
    std::string buffer;
    for (auto deadline = Clock::now() + 3s; !stop && Clock::now() < deadline;) {
        const std::optional<std::string> bytes = receive(fd, 20);
        if (!bytes)
            break;
        buffer += *bytes;
        if (!takeMessages(buffer).empty())
            break;
    }
    if (cut >= 1 && cut <= cutsOfAnAnswer())
        sendWhole(fd, std::string_view(answer).substr(0, size_t(cut)));
    ++attack.count;
}

inline int twoHundred() { return 200; }

inline void acceptAndDrop(Attack &attack, int fd, const std::string &, const std::atomic<bool> &)
{
    // Half end with a reset, half with an orderly close.
    if (++attack.count % 2 == 0) {
        const linger reset{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
}

inline void heartbeatFlood(Attack &attack, int fd, const std::string &,
                           const std::atomic<bool> &stop)
{
    std::string beats;
    while (beats.size() < 65536)
        beats += beat();
    flood(attack, fd, beats, stop, [&] {
        attack.done = Clock::now() - attack.started >= 4s;
        return false;  // on until the test ends, SIGTERM included
    });
}

inline const std::string kFloodRecord = "E 1 flood record " + std::string(60, 'f') + "\x02";

inline void logRecordFlood(Attack &attack, int fd, const std::string &,
                           const std::atomic<bool> &stop)
{
    std::string records;
    for (int i = 0; i < 50; ++i)
        records += kFloodRecord;
    const std::string message = logRecords(records);
    std::string buffer;
    // Four seconds of records, the status requests answered in between; then an agent that
    // behaves.
    flood(attack, fd, message, stop, [&] {
        answerRequests(fd, buffer, 0, [](const std::string &s) { return statusAnswer(s, 33); });
        return Clock::now() - attack.started >= 4s;
    });
    attack.done = true;
    while (!stop && answerRequests(fd, buffer, 50, [](const std::string &s) {
        return statusAnswer(s, 34);
    })) {
    }
}

// Two answers, then until the test turns it only heartbeats, or answers that do not decode
// (a program package of one item), then answers again.
inline void stopsAnswering(Attack &attack, int fd, const std::atomic<bool> &stop, bool undecodable)
{
    std::string buffer;
    auto lastBeat = Clock::now();
    while (!stop && answerRequests(fd, buffer, 50, [&](const std::string &sequence) {
        if (++attack.count <= 2 || attack.turn)
            return statusAnswer(sequence, 21);
        if (!undecodable)
            return std::string();
        using namespace tarvo::testing;
        return agentMessage(sequence, std::make_unique<StatusResponseMessageBody>(
                                          "正常运行", "2009-06-01 09:05:03 ", "22", "20", "30",
                                          "00", package({oes("Y", OES_NAME_A, "运行")}), ""));
    })) {
        // Heartbeats keep coming: on the real agent they come from the readers, not the worker.
        if (Clock::now() - lastBeat >= 300ms) {
            lastBeat = Clock::now();
            if (!sendWhole(fd, beat()))
                return;
        }
    }
}

inline void onlyHeartbeats(Attack &attack, int fd, const std::string &,
                           const std::atomic<bool> &stop)
{
    stopsAnswering(attack, fd, stop, false);
}

inline void undecodableAnswers(Attack &attack, int fd, const std::string &,
                               const std::atomic<bool> &stop)
{
    stopsAnswering(attack, fd, stop, true);
}

inline const std::string kTitle = "\x1b]0;owned\x07";
inline const std::string kClipboard = "\x1b]52;c;SGVsbG8=\x07";
inline const std::string kForgedLine = "\r\n127.0.0.2       good            已断开";

inline void terminalInjection(Attack &attack, int fd, const std::string &,
                              const std::atomic<bool> &stop)
{
    std::string buffer;
    while (!stop && attack.count < 3 &&
           answerRequests(fd, buffer, 50, [&](const std::string &sequence) {
               ++attack.count;
               return statusAnswer(sequence, 23, kClipboard) +
                      logRecords("E 1 " + kTitle + "title\x02" "E 2 \x1b[2Jcleared\x02" "E 3 ok" +
                                 kForgedLine + "\x02");
           })) {
    }
    // A trailer that cannot be read: the console quotes the raw bytes and closes.
    std::string bad = beat();
    bad.replace(bad.size() - 7, 2, "98");
    sendWhole(fd, bad + "\x1b[31mred" + kClipboard);
    attack.done = untilClosed(fd, stop);
}

// Whole messages of more than 20480 bytes and the start of an answer in one write, the rest
// of the answer a moment later.
inline void longReads(Attack &attack, int fd, const std::string &, const std::atomic<bool> &stop)
{
    std::string buffer;
    while (!stop && answerRequests(fd, buffer, 50, [&](const std::string &sequence) {
        if (attack.count >= 3)
            return statusAnswer(sequence, 45);
        std::string bytes;
        for (int i = 0; i < 30; ++i)
            bytes += logRecords("E 1 " + std::string(1000, 'r') + "\x02") + (i % 3 ? "" : beat());
        bytes += statusAnswer(sequence, 44);
        attack.sent += long(bytes.size());
        if (!sendWhole(fd, std::string_view(bytes).substr(0, bytes.size() - 50)))
            return std::string();
        std::this_thread::sleep_for(100ms);
        ++attack.count;
        return bytes.substr(bytes.size() - 50);
    })) {
    }
}

// Answers, and a log record and a heartbeat every 200 ms (lines for both logs).
inline void answersAndRecords(Attack &attack, int fd, const std::string &,
                              const std::atomic<bool> &stop)
{
    std::string buffer;
    auto last = Clock::now();
    while (!stop &&
           answerRequests(fd, buffer, 50,
                          [](const std::string &s) { return statusAnswer(s, 24); })) {
        if (Clock::now() - last < 200ms)
            continue;
        last = Clock::now();
        if (!sendWhole(fd, logRecords("I 1 record " + std::to_string(++attack.count) + "\x02") +
                               beat()))
            return;
    }
}

} // namespace tarvo::test
