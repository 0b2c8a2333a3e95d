// The hostile peers that go for the agent's slots, its worker and its log, and the program
// that writes its status file in pieces: cases of the Peers suite (HostileClientTest.cpp).
#pragma once

#include "HostileAgentSupport.h"

namespace tarvo::test {

// The agent's limits as the Peers suite starts it (beside the shipped rate limits).
constexpr auto PEERS_IDLE_TIMEOUT = std::chrono::milliseconds(1500);
constexpr auto PEERS_DISPLACE_QUIET = std::chrono::milliseconds(900);

// Seven connections from the console's own address that each send a heartbeat just often
// enough to stay: a console that starts again is admitted all the same.
void quietHoldersOfTheConsolesAddress(const HostileAgent &agent);
// 63 such connections from ten addresses take every other slot: likewise.
void quietHoldersOfEverySlot(const HostileAgent &agent);
// Sixty connections from ten addresses ask as fast as the agent answers: each is answered
// at its rate, all together at the total rate, and a console between them at once.
void requestFlood(const HostileAgent &agent);
// Check names of 19000 bytes with a forged log line inside: the log grows by a few hundred
// bytes per request and holds no forged line.
void forgedAndLongCheckNames(const HostileAgent &agent);
// The program writes its status file in two pieces while the agent reads it: every answer
// holds one whole version of the file.
void statusFileWrittenInPieces(const HostileAgent &agent);

} // namespace tarvo::test
