// The pump of the script test host: how gsrun moves a router's time on.
// These rules are the host's own; the runtime leaves the pass to whoever
// makes the router.
//
// PumpRouter(router, seconds, step) runs ticks of `step` seconds (both
// rounded to whole milliseconds; a step of at least 1 ms) while the router
// has work (a scheduled node, a posted or a delayed message) and fewer than
// `seconds` have passed. Each tick:
// 1. advances the router's clock by the step;
// 2. sends the messages posted so far, in the order posted (messages
//    posted while these are delivered wait for the next tick);
// 3. sends the delayed messages that are due by the new clock, earliest
//    first, equal due times in the order posted;
// 4. updates every node of the update set once, in node-id order, with the
//    step as the elapsed time (nodes scheduled during the pass wait for
//    the next tick; a node that left the router meanwhile is skipped).
// `beforeTick`, when given, runs at the start of each tick with the step in
// seconds (the host's hook for waiting on outside events and moving its
// clocks). Answers the number of ticks run. Not thread-safe.
#pragma once

#include <cstdint>
#include <functional>

class GSRouter;

uint64_t PumpRouter(GSRouter& router, double seconds, double step,
                    const std::function<void(double)>& beforeTick = nullptr);
