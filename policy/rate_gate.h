// The rate gate and panel test that every policy handling passes first.
#pragma once

#include <cstdint>

// The panel has a real range: acRate and dcRate more than 3 apart. Computed
// so that no pair of 32-bit rates can overflow.
bool RatesSpanARealRange(std::int32_t acRate, std::int32_t dcRate);

// The rate gate on the stored rates, then IsPrimaryPanelActive.
bool PassesRateGateAndPanelTest();
