// SPDX-License-Identifier: MIT
#include "ScenarioOutbox.h"

void ScenarioOutbox::enqueue(Outgoing outgoing)
{
    m_queue.push_back(std::move(outgoing));
    pump();
}

void ScenarioOutbox::clear()
{
    ++m_generation;
    m_queue.clear();
    m_inFlight = 0;
    m_barrier = false;
}

void ScenarioOutbox::pump()
{
    if (m_pumping)
        return; // a call that finished at once, inside the loop below
    m_pumping = true;
    while (!m_queue.empty() && m_inFlight < m_maxInFlight && !m_barrier && !(m_queue.front().drain && m_inFlight > 0)) {
        Outgoing next = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_inFlight;
        m_barrier = next.barrier;
        next.send([this, generation = m_generation, barrier = next.barrier] {
            if (generation != m_generation)
                return;
            --m_inFlight;
            if (barrier)
                m_barrier = false;
            const bool nested = m_pumping;
            pump();
            if (!nested && finished)
                finished();
        });
    }
    m_pumping = false;
}
