// SPDX-License-Identifier: MIT
#ifndef SCENARIOOUTBOX_H
#define SCENARIOOUTBOX_H

#include <deque>
#include <functional>

// The calls of a play, sent in the file's order with at most `maxInFlight` awaiting their replies
// at a time (the bus refuses a connection's calls past its limit of awaited replies). A call is
// over when it calls the `finish` it was given; a call that finishes at once, inside send, is
// fine.
class ScenarioOutbox
{
public:
    using Finish = std::function<void()>;
    struct Outgoing
    {
        std::function<void(const Finish &finish)> send;
        // Nothing after a barrier starts before it has finished (a registration: later calls
        // need its id).
        bool barrier = false;
        // Starts only once every call before it has finished: an expectation, which asks on one
        // connection about changes a scenario's client made on another.
        bool drain = false;
    };

    explicit ScenarioOutbox(int maxInFlight)
        : m_maxInFlight(maxInFlight)
    {
    }

    void enqueue(Outgoing outgoing);
    // Drops the calls not yet sent; the calls in flight no longer count, and their finishes are
    // ignored.
    void clear();
    // Calls not yet sent.
    std::size_t queued() const { return m_queue.size(); }
    bool idle() const { return m_queue.empty() && m_inFlight == 0; }
    // After a call finished, with the calls it let go sent.
    std::function<void()> finished;

private:
    void pump();

    int m_maxInFlight;
    std::deque<Outgoing> m_queue;
    int m_inFlight = 0;
    bool m_barrier = false; // a barrier is in flight
    bool m_pumping = false;
    unsigned m_generation = 0; // of clear()
};

#endif
