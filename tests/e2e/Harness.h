#pragma once
// End-to-end runs: the real main window on the offscreen platform, on
// virtual time, against the simulated interface unit on a pseudo-terminal.
#include "app/Main.h"
#include "sim/InterfaceUnit.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

struct ShownDialog {
    std::string text;
    int type;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Stores the port the program is to open (the simulator's by default).
    void StorePort(const std::string& port);
    // Creates the main window and shows it (start-up up to the post-show step).
    void Start();
    // Start, then let the post-show step connect.
    void StartAndConnect();
    // Moves virtual time, letting the simulator answer between steps.
    void Advance(int64_t ms);
    // The simulator made a new pseudo-terminal: point the program at it.
    void FollowRecreatedPty();
    // The program's frames, as the simulator decoded them.
    std::vector<sim::ReceivedFrame> FramesWithCommand(uint8_t command) const { return sim->FramesWithCommand(command); }

    std::unique_ptr<sim::InterfaceUnit> sim;
    TformMain* form = nullptr;
    TempDir dir;
    std::vector<ShownDialog> dialogs;
    std::vector<uint32_t> beeps;
    std::vector<std::string> exceptions;
    int modalResult = 0; // what the user-guide reminder returns
    std::vector<std::string> modals;

private:
    void SettleIo();
    // Our own look at the program's input queue (after Recreate, the new one).
    void ReopenSlave();
    // Bytes the simulator wrote that the program has not read.
    int WaitingForProgram() const;
    int slaveFd_ = -1;
    std::unique_ptr<QObject> callCounter_;
    uint64_t queuedCallsRun_ = 0; // calls queued to the user-interface thread, run so far
    bool settleFailed_ = false;   // reported once; later settles do not wait again
};

// The record bytes of a frame, for comparisons.
sim::Bytes RecordOf(std::initializer_list<uint8_t> bytes);

// A connected program with repeaters listed and one selected, the
// configuration and engineering tabs shown.
class JobsEndToEnd : public EndToEnd {
protected:
    void SetUp() override;
    // Selects the repeater with this id in the list, as a click does.
    void Select(uint32_t id);
    // Ticks exactly these configuration entries (by table index).
    void TickOnly(std::initializer_list<int> entries);
    // All the relayed requests the simulator received, in order.
    std::vector<sim::ReceivedFrame> Relays() const;
    sim::Repeater* repeater = nullptr;
    static constexpr uint32_t kId = 0x123456; // 1193046, address 12 34 56
};
