// The link's state steps as functions of (state, record): which frame stops
// the link retry timer, and what a poll reply does in each state.
#include "app/Main.h"
#include "link/Replies.h"
#include "link/Responses.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

TMsgRecord Record(std::initializer_list<uint8_t> bytes, size_t length = 0)
{
    TMsgRecord m;
    for (uint8_t b : bytes)
        m.data[m.length++] = b;
    while (m.length < length)
        m.data[m.length++] = 0;
    return m;
}

const uint8_t kAddress[3] = {0x12, 0x34, 0x56};

// A poll reply of `length` bytes carrying `address` at data[4..6].
TMsgRecord PollReply(size_t length, uint32_t address = 0x123456)
{
    return Record({0x2D, 0x00, 0x01, 0x00, uint8_t(address >> 16), uint8_t(address >> 8), uint8_t(address)}, length);
}

} // namespace

TEST(LinkSteps, WhichFrameStopsTheLinkTimer)
{
    const TMsgRecord keepAlive = Record({0x3A, 0x02, 0x1D, 0x4C});
    const TMsgRecord commsMode = Record({0xA5, 0x01});
    const TMsgRecord poll = Record({0x2D, 0x00});
    const TMsgRecord relay = Record({0x7B, 0xCD, 0x12, 0x34, 0x56});
    const TMsgRecord discovery = Record({0x78, 0x00});
    struct Case {
        uint8_t state;
        bool keepAlive, commsMode, poll, relay, discovery;
    };
    const Case cases[] = {
        {osIdle, true, true, true, true, true},
        {osConnecting, false, true, false, false, false},
        {osCalibrationCheck, false, false, true, false, false},
        {osConfigItems, true, true, true, true, true},
        {osPatrolPoll, false, false, true, false, false},
        {osPatrolOutcome, false, false, true, false, false},
        {osLogOnPoll, false, false, true, false, false},
        {osTestSmsOutcome, false, false, true, false, false},
        {osTestFtpPoll, false, false, true, false, false},
        {osLogOffOutcome, false, false, true, false, false},
        {osDeployLogOffPoll, false, false, true, false, false},
        {osDeployLogOffOutcome, false, false, true, false, false},
        {osDeployLogOffRequest, true, true, true, true, true},
        {osReadConfig, true, true, true, true, true},
        {osEcuOptionsRead, true, true, true, true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FrameStopsLinkTimer(c.state, keepAlive), c.keepAlive) << int(c.state);
        EXPECT_EQ(FrameStopsLinkTimer(c.state, commsMode), c.commsMode) << int(c.state);
        EXPECT_EQ(FrameStopsLinkTimer(c.state, poll), c.poll) << int(c.state);
        EXPECT_EQ(FrameStopsLinkTimer(c.state, relay), c.relay) << int(c.state);
        EXPECT_EQ(FrameStopsLinkTimer(c.state, discovery), c.discovery) << int(c.state);
    }
}

TEST(LinkSteps, PollReplyByStateLengthAndAddress)
{
    using O = TPollOutcome;
    struct Case {
        uint8_t state;
        size_t length;
        uint32_t address;
        uint8_t next;
        O outcome;
        bool repoll;
    };
    const Case cases[] = {
        // Short replies step the polling states; nothing is reported.
        {osPatrolPoll, 15, 0x123456, osPatrolOutcome, O::poNone, true},
        {osLogOnPoll, 2, 0x123456, osLogOnOutcome, O::poNone, true},
        {osTestSmsPoll, 15, 0x123456, osTestSmsOutcome, O::poNone, true},
        {osLogOffPoll, 15, 0x123456, osLogOffOutcome, O::poNone, true},
        {osTestFtpPoll, 15, 0x123456, osTestFtpOutcome, O::poNone, true},
        {osDeployLogOffPoll, 15, 0x123456, osDeployLogOffOutcome, O::poNone, true},
        {osPatrolOutcome, 15, 0x123456, osPatrolOutcome, O::poNone, true},
        {osCalibrationCheck, 15, 0x123456, osCalibrationCheck, O::poNone, true},
        // A long report before any short reply is no outcome.
        {osPatrolPoll, 16, 0x123456, osPatrolPoll, O::poNone, true},
        // The selected repeater's report in the outcome states.
        {osCalibrationCheck, 16, 0x123456, osCalibrationCheck, O::poCalibration, false},
        {osPatrolOutcome, 16, 0x123456, osPatrolOutcome, O::poPatrol, false},
        {osLogOnOutcome, 20, 0x123456, osLogOnOutcome, O::poLogOn, false},
        {osTestSmsOutcome, 16, 0x123456, osTestSmsOutcome, O::poTestSms, false},
        {osTestFtpOutcome, 16, 0x123456, osTestFtpOutcome, O::poTestFtp, false},
        {osLogOffOutcome, 16, 0x123456, osLogOffOutcome, O::poLogOff, false},
        {osDeployLogOffOutcome, 16, 0x123456, osDeployLogOffOutcome, O::poLogOff, false},
        // Another repeater's report: polling goes on.
        {osPatrolOutcome, 16, 0x123457, osPatrolOutcome, O::poNone, true},
        {osCalibrationCheck, 16, 0x003456, osCalibrationCheck, O::poNone, true},
        // States that poll nothing: no step, no further poll.
        {osIdle, 15, 0x123456, osIdle, O::poNone, false},
        {osIdle, 16, 0x123456, osIdle, O::poNone, false},
        {osConfigItems, 16, 0x123456, osConfigItems, O::poNone, false},
        {osReadConfig, 2, 0x123456, osReadConfig, O::poNone, false},
    };
    for (const Case& c : cases) {
        const TPollStep step = PollReplyStep(c.state, PollReply(c.length, c.address), kAddress);
        EXPECT_EQ(step.state, c.next) << int(c.state) << " len " << c.length;
        EXPECT_EQ(step.outcome, c.outcome) << int(c.state) << " len " << c.length;
        EXPECT_EQ(step.repoll, c.repoll) << int(c.state) << " len " << c.length;
    }
}
