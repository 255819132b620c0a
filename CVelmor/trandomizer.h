// A weighted random choice among values: each value is picked with a
// probability proportional to its weight. Built for one pick and thrown away.
#pragma once

#include <cstdint>
#include <vector>

#include "cvelmor_ehs.h"
#include "cvelmor_rand.h"

template <typename T>
class TRandomizer {
public:
    void Add(const T& value, int32_t weight) {
        m_values.push_back(value);
        m_weights.push_back(weight);
        ++m_iCount;
    }

    int32_t GetCount() const { return m_iCount; }

    // Draws from the shared generator; raises text-message errors when
    // nothing was added or the weights leave nothing to draw from.
    T GetRandomValue() const {
        if (m_iCount == 0) throw CV2DFatalText("No values were thrown in randomizer!");
        if (m_iCount == 1) return m_values[0];
        // Value i owns [lower, lower + weight); the intervals follow each other.
        int64_t total = 0;
        for (int32_t weight : m_weights) total += weight;
        // With no positive total there is no interval to land in (and no
        // number to take a remainder by).
        if (total <= 0) throw CV2DFatalText("Error in TRandomizer::GetRandomValue!");
        const int64_t r = V2DRand() % total;
        int64_t lower = 0;
        for (size_t i = 0; i < m_values.size(); ++i) {
            const int64_t upper = lower + m_weights[i];
            if (lower <= r && r < upper) return m_values[i];
            lower = upper;
        }
        throw CV2DFatalText("Error in TRandomizer::GetRandomValue!");
    }

private:
    std::vector<T> m_values;
    std::vector<int32_t> m_weights;
    int32_t m_iCount = 0;
};
